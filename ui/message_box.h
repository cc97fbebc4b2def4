// The program's boxes on the desktop: message boxes with no icon, the title
// "Dravonel2" and the buttons named, and input boxes.
#pragma once

#include "host.h"

#include <QString>

class QWidget;

namespace dravonel {

// The boxes of one window (`parent`, or the active window when null).
class WindowBoxes : public MessageHost {
public:
    explicit WindowBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void showMessage(const QString& text) override;
    bool askYesNo(const QString& text) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& proposed) override;

private:
    // The window the boxes belong to: the given one, else the active one.
    QWidget* owner() const;

    QWidget* parent_;
};

// The boxes for windows that have no asker of their own.
MessageHost& standardBoxes();

} // namespace dravonel

// The strip above the panes: the four mode buttons from the left and the
// cancel button at the right edge, all five as large as the largest caption
// needs in the font in use.
#pragma once

#include <QWidget>

#include <array>

class QPushButton;

namespace dravonel {

class RunStrip : public QWidget {
    Q_OBJECT
public:
    explicit RunStrip(QWidget* parent = nullptr);

    // The size of each of the five buttons.
    QSize buttonSize() const;
    // The strip's height: 615 twips, or the buttons with their margins.
    int neededHeight() const;
    // The width that shows all five buttons side by side.
    int neededWidth() const;
    // Places the buttons: cancel at the right edge of a window `windowWidth`
    // wide, but never over the fourth mode button.
    void layOut(int windowWidth);
    // The button of run-menu item `i`: the four modes, then cancel.
    QPushButton* button(int i) const { return i < 4 ? btnExe[size_t(i)] : btnCancel; }

    std::array<QPushButton*, 4> btnExe{};
    QPushButton* btnCancel;
};

} // namespace dravonel

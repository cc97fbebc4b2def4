// The program's message boxes: no icon, the title "Dravonel2", the buttons named.
#pragma once

#include <QString>

class QWidget;

namespace dravonel {

// An OK box.
void showMessage(QWidget* parent, const QString& text);
// A Yes/No question; true for Yes.
bool askYesNo(QWidget* parent, const QString& text);

} // namespace dravonel

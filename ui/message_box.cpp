#include "message_box.h"

#include <QMessageBox>

namespace dravonel {

namespace {

int exec(QWidget* parent, const QString& text, QMessageBox::StandardButtons buttons,
         QMessageBox::StandardButton defaultButton) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Dravonel2"), text, buttons, parent);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void showMessage(QWidget* parent, const QString& text) {
    exec(parent, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool askYesNo(QWidget* parent, const QString& text) {
    return exec(parent, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

} // namespace dravonel

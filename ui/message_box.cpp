#include "message_box.h"

#include <QApplication>
#include <QInputDialog>
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

QWidget* WindowBoxes::owner() const {
    return parent_ ? parent_ : QApplication::activeWindow();
}

void WindowBoxes::showMessage(const QString& text) {
    exec(owner(), text, QMessageBox::Ok, QMessageBox::Ok);
}

bool WindowBoxes::askYesNo(const QString& text) {
    return exec(owner(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

QString WindowBoxes::inputBox(const QString& prompt, const QString& title,
                              const QString& proposed) {
    QString label = prompt;
    label.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    bool ok = false;
    const QString answer =
        QInputDialog::getText(owner(), title, label, QLineEdit::Normal, proposed, &ok);
    return ok ? answer : QString();
}

MessageHost& standardBoxes() {
    static WindowBoxes boxes;
    return boxes;
}

} // namespace dravonel

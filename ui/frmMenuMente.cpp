#include "frmMenuMente.h"

#include "dialog_support.h"
#include "drawn_icons.h"
#include "message_box.h"
#include "messages.h"
#include "paths.h"
#include "program.h"
#include "twips.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

namespace dravonel {

namespace {

const QString kPrefix = QStringLiteral("MenuMente");

} // namespace

frmMenuMente::frmMenuMente(Program& program, QWidget* parent)
    : QDialog(parent), program_(program), prompts_(&standardBoxes()) {
    setModal(true);
    setFixedSize(toPixels(6255, 2775));

    txtDir = new QLineEdit(this);
    txtDir->setReadOnly(true);
    placeTwips(txtDir, 120, 120, 6015, 285);
    lbxMenu = new QListWidget(this);
    placeTwips(lbxMenu, 120, 480, 3975, 2010);

    const auto picture = [this](const QIcon& icon, double top) {
        auto* button = new QToolButton(this);
        button->setIcon(icon);
        placeTwips(button, 4200, top, 495, 375);
        return button;
    };
    btnUp = picture(arrowUpIcon(), 480);
    btnDown = picture(arrowDownIcon(), 960);
    btnDel = picture(deleteIcon(), 1800);
    btnDelAll = picture(deleteAllIcon(), 2280);

    const auto push = [this](double top) {
        auto* button = new QPushButton(this);
        button->setAutoDefault(false);
        placeTwips(button, 4800, top, 1335, 375);
        return button;
    };
    btnName = push(480);
    btnOk = push(1800);
    btnCancel = push(2280);

    setTabOrder(lbxMenu, btnUp);
    setTabOrder(btnUp, btnDown);
    setTabOrder(btnDown, btnDel);
    setTabOrder(btnDel, btnDelAll);
    setTabOrder(btnDelAll, btnName);
    setTabOrder(btnName, btnOk);
    setTabOrder(btnOk, btnCancel);
    setTabOrder(btnCancel, txtDir);

    connect(lbxMenu, &QListWidget::currentRowChanged, this, &frmMenuMente::lbxMenu_Click);
    connect(btnName, &QPushButton::clicked, this, &frmMenuMente::btnName_Click);
    connect(btnUp, &QToolButton::clicked, this, &frmMenuMente::btnUp_Click);
    connect(btnDown, &QToolButton::clicked, this, &frmMenuMente::btnDown_Click);
    connect(btnDel, &QToolButton::clicked, this, &frmMenuMente::btnDel_Click);
    connect(btnDelAll, &QToolButton::clicked, this, &frmMenuMente::btnDelAll_Click);
    connect(btnOk, &QPushButton::clicked, this, [this] {
        pblnOk = true;
        hide();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::hide);
}

void frmMenuMente::Form_Load() {
    loadPosition(this, program_.store, kPrefix);
    SetFontData();
    btnOk->setText(resAll(common_msg::DialogOk));
    btnCancel->setText(resAll(common_msg::DialogCancel));
    btnName->setText(resAll(common_msg::Rename));
    SetToolTip(program_.options.Tip);
    names_.fill(QString());
    dirs_.fill(QString());
}

void frmMenuMente::Form_QueryUnload() {
    savePosition(this, program_.store, kPrefix);
}

void frmMenuMente::Set_Menu(int intIndex, const QString& strName, const QString& strDir) {
    if (intIndex < 0 || intIndex >= kSlots)
        return;
    names_[intIndex] = strName;
    dirs_[intIndex] = strDir;
}

void frmMenuMente::Get_Menu(int intIndex, QString& strName, QString& strDir) const {
    if (intIndex < 0 || intIndex >= kSlots || intIndex >= lbxMenu->count()) {
        strName.clear();
        strDir.clear();
        return;
    }
    strName = names_[intIndex];
    strDir = dirs_[intIndex];
}

qint16 frmMenuMente::MenuCount() const {
    return qint16(lbxMenu->count() - 1);
}

void frmMenuMente::SetToolTip(bool blnToolTip) {
    const auto tip = [blnToolTip](QWidget* widget, const QString& text) {
        widget->setToolTip(blnToolTip ? text : QString());
    };
    tip(txtDir, resAll(common_msg::TipAliasFolder));
    tip(lbxMenu, resAll(common_msg::TipAliasList));
    tip(btnUp, resAll(common_msg::TipAliasUp));
    tip(btnDown, resAll(common_msg::TipAliasDown));
    tip(btnDel, resAll(common_msg::TipAliasDelete));
    tip(btnDelAll, resAll(common_msg::TipAliasDeleteAll));
    tip(btnName, resAll(common_msg::TipAliasRename));
    tip(btnOk, resAll(common_msg::TipDialogOk));
    tip(btnCancel, resAll(common_msg::TipDialogCancel));
}

void frmMenuMente::SetFontData() {
    applyFontData(program_.options, {this, btnOk, btnCancel, btnName, txtDir, lbxMenu});
}

void frmMenuMente::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Form_Activate();
}

void frmMenuMente::closeEvent(QCloseEvent* event) {
    // The close box counts as Cancel.
    Form_QueryUnload();
    QDialog::closeEvent(event);
}

void frmMenuMente::Form_Activate() {
    pblnOk = false;
    setWindowTitle(pstr_Me_Caption + resAll(common_msg::AliasMaintainTitle));
    lbxMenu->clear();
    for (int i = 0; i < kSlots && !names_[i].isEmpty() && !dirs_[i].isEmpty(); ++i)
        lbxMenu->addItem(names_[i]);
    if (lbxMenu->count() == 0)
        txtDir->clear();
    else
        select(0);
    EnableControls();
    if (lbxMenu->isEnabled())
        lbxMenu->setFocus();
    else
        btnCancel->setFocus();
}

void frmMenuMente::EnableControls() {
    const bool any = lbxMenu->count() > 0;
    for (QWidget* widget : std::initializer_list<QWidget*>{txtDir, lbxMenu, btnUp, btnDown, btnDel,
                                                           btnDelAll, btnName})
        widget->setEnabled(any);
}

void frmMenuMente::lbxMenu_Click() {
    const int i = lbxMenu->currentRow();
    if (i < 0 || i >= lbxMenu->count())
        txtDir->clear();
    else
        txtDir->setText(ShortPath(dirs_[i]));
}

void frmMenuMente::select(int index) {
    lbxMenu->setCurrentRow(index);
    lbxMenu_Click();
}

void frmMenuMente::swapSlots(int a, int b) {
    std::swap(names_[a], names_[b]);
    std::swap(dirs_[a], dirs_[b]);
}

void frmMenuMente::btnName_Click() {
    const int i = lbxMenu->currentRow();
    if (lbxMenu->count() == 0 || i < 0)
        return;
    const QString answer = prompts_->inputBox(resAll(common_msg::AliasRenamePrompt),
                                              resAll(common_msg::AliasRenameTitle), names_[i]);
    if (answer.isEmpty() || answer == names_[i])
        return;
    for (int k = 0; k < lbxMenu->count(); ++k) {
        if (lbxMenu->item(k)->text() == answer) {
            prompts_->showMessage(resAll(common_msg::AliasRenameExists));
            return;
        }
    }
    names_[i] = answer;
    lbxMenu->item(i)->setText(answer);
}

void frmMenuMente::btnUp_Click() {
    const int i = lbxMenu->currentRow();
    if (lbxMenu->count() == 0 || i < 1)
        return;
    delete lbxMenu->takeItem(i);
    lbxMenu->insertItem(i - 1, names_[i]);
    swapSlots(i, i - 1);
    select(i - 1);
}

void frmMenuMente::btnDown_Click() {
    const int i = lbxMenu->currentRow();
    if (i < 0 || i > lbxMenu->count() - 2)
        return;
    delete lbxMenu->takeItem(i);
    lbxMenu->insertItem(i + 1, names_[i]);
    swapSlots(i, i + 1);
    select(i + 1);
}

void frmMenuMente::btnDel_Click() {
    const int i = lbxMenu->currentRow();
    if (lbxMenu->count() == 0 || i < 0)
        return;
    delete lbxMenu->takeItem(i);
    for (int k = i; k < kSlots - 1; ++k) {
        names_[k] = names_[k + 1];
        dirs_[k] = dirs_[k + 1];
    }
    names_[kSlots - 1].clear();
    dirs_[kSlots - 1].clear();
    const int n = lbxMenu->count();
    if (i < n)
        select(i);
    else if (n > 0)
        select(n - 1);
    else
        txtDir->clear();
    EnableControls();
}

void frmMenuMente::btnDelAll_Click() {
    if (lbxMenu->count() == 0)
        return;
    lbxMenu->clear();
    txtDir->clear();
    names_.fill(QString());
    dirs_.fill(QString());
    EnableControls();
}

} // namespace dravonel

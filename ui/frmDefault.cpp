#include "frmDefault.h"

#include "dialog_host.h"
#include "dialog_support.h"
#include "drive_list.h"
#include "folder_list.h"
#include "message_box.h"
#include "messages.h"
#include "paths.h"
#include "program.h"
#include "settings.h"
#include "system_folders.h"
#include "twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <cmath>

namespace dravonel {

namespace {

const QString kPrefix = QStringLiteral("Default");
constexpr double kPanelHeight = 495;

double heightTwips(const QWidget* widget) {
    return toTwips(widget->height());
}

// The label and the check box are as high as the font needs.
int lineHeight(const QWidget* widget) {
    return widget->sizeHint().height();
}

} // namespace

frmDefault::frmDefault(Program& program, DialogHost& host, QWidget* parent)
    : QDialog(parent), program_(program), host_(host) {
    setModal(true);

    pnlDefault = new QFrame(this);
    pnlDefault->setFrameShape(QFrame::StyledPanel);
    pnlDefault->setFrameShadow(QFrame::Raised);
    btnOk = new QPushButton(pnlDefault);
    btnCancel = new QPushButton(pnlDefault);
    for (QPushButton* button : {btnOk, btnCancel}) {
        button->setAutoDefault(false);
        button->setContextMenuPolicy(Qt::PreventContextMenu);
    }
    cbxDrive = new QCheckBox(this);
    lblDrive = new QLabel(this);
    drvDrive = new DriveList(this);
    dlbDir = new FolderList(this);
    txtDir = new QLineEdit(this);
    txtDir->setReadOnly(true);

    mnuPopup = new QMenu(this);
    mnuInDir = mnuPopup->addAction(QString());
    mnuOutDir = mnuPopup->addAction(QString());
    mnuTmp = mnuPopup->addAction(QString());
    connect(mnuInDir, &QAction::triggered, this, [this] { setDirName(host_.inputFolder()); });
    connect(mnuOutDir, &QAction::triggered, this, [this] { setDirName(host_.outputFolder()); });
    connect(mnuTmp, &QAction::triggered, this, [this] { setDirName(TempFolder()); });
    for (QWidget* widget : {static_cast<QWidget*>(this), static_cast<QWidget*>(dlbDir),
                            static_cast<QWidget*>(txtDir)}) {
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(widget, &QWidget::customContextMenuRequested, this,
                [this, widget](const QPoint& at) { mnuPopup->popup(widget->mapToGlobal(at)); });
    }

    connect(cbxDrive, &QCheckBox::clicked, this, [this] {
        btnOk->setEnabled(true);
        EnableControls();
    });
    connect(drvDrive, &DriveList::driveChanged, this, [this](const QString& root) {
        btnOk->setEnabled(true);
        drvDrive_Change(root);
    });
    connect(drvDrive, &DriveList::returnPressed, dlbDir, [this] { dlbDir->setFocus(); });
    connect(dlbDir, &FolderList::pathChanged, this, [this] {
        btnOk->setEnabled(true);
        UpdateDisplay();
    });
    connect(btnOk, &QPushButton::clicked, this, [this] {
        pblnOk = true;
        hide();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::hide);

    // The controls' own heights, before the first layout.
    drvDrive->resize(drvDrive->sizeHint());
    txtDir->resize(txtDir->sizeHint());
}

void frmDefault::Form_Load() {
    const WindowSettings settings(program_.store, kPrefix);
    float geometry[4] = {1000, 1000, 5000, 5000};
    const char* keys[4] = {"_Left", "_Top", "_Width", "_Height"};
    for (int i = 0; i < 4; ++i)
        geometry[i] = settings.readSingle(kPrefix + QLatin1String(keys[i]), geometry[i]);
    if (geometry[0] < 0 || geometry[0] > screenWidthTwips())
        geometry[0] = 1000;
    if (geometry[1] < 0 || geometry[1] > screenHeightTwips())
        geometry[1] = 1000;
    // Without a stored position Qt centres the dialog over the main window.
    if (settings.storedSingle(kPrefix + QStringLiteral("_Left")) ||
        settings.storedSingle(kPrefix + QStringLiteral("_Top")))
        move(toPixels(geometry[0]), toPixels(geometry[1]));
    resize(toPixels(geometry[2], geometry[3]));

    SetFontData();
    setWindowTitle(resDravonel(msg::DefaultsTitle));
    btnOk->setText(resAll(common_msg::DialogOk));
    btnCancel->setText(resAll(common_msg::DialogCancel));
    mnuInDir->setText(resDravonel(msg::CopyFromInFolder));
    mnuOutDir->setText(resDravonel(msg::CopyFromOutFolder));
    mnuTmp->setText(resDravonel(msg::CopyFromTempFolder));

    pstr_lblDrive_Caption.clear();
    pstr_cbxDrive_Hint.clear();
    pstr_drvDrive_Hint.clear();
    pstr_dlbDir_Hint.clear();
    pstr_txtDir_Hint.clear();
    pblnYukoMukouOk = true;
    pblnDiskFreeOk = true;
}

void frmDefault::Form_QueryUnload() {
    const WindowSettings settings(program_.store, kPrefix);
    // Without a position of its own (never placed) the dialog goes on opening
    // over the main window.
    if (testAttribute(Qt::WA_Moved)) {
        settings.writeSingle(kPrefix + QStringLiteral("_Left"), float(toTwips(x())));
        settings.writeSingle(kPrefix + QStringLiteral("_Top"), float(toTwips(y())));
    }
    settings.writeSingle(kPrefix + QStringLiteral("_Width"), float(toTwips(width())));
    settings.writeSingle(kPrefix + QStringLiteral("_Height"), float(toTwips(height())));
}

QString frmDefault::DirName() const {
    return LongPath(dlbDir->path());
}

void frmDefault::setDirName(const QString& folder) {
    if (!dlbDir->setPath(folder))
        dlbDir->setPath(QDir::currentPath());
    drvDrive->setDriveOf(dlbDir->path());
    RefreshForm();
}

bool frmDefault::Yuko() const {
    return cbxDrive->isChecked();
}

void frmDefault::setYuko(bool value) {
    cbxDrive->setChecked(value);
    EnableControls();
}

void frmDefault::RefreshForm() {
    drvDrive->refresh();
    dlbDir->refresh();
    drvDrive->setDriveOf(dlbDir->path());
    UpdateDisplay();
}

void frmDefault::SetToolTip(bool blnToolTip) {
    btnOk->setToolTip(blnToolTip ? resAll(common_msg::TipDialogOk) : QString());
    btnCancel->setToolTip(blnToolTip ? resAll(common_msg::TipDialogCancel) : QString());
    cbxDrive->setToolTip(blnToolTip ? pstr_cbxDrive_Hint : QString());
    drvDrive->setToolTip(blnToolTip ? pstr_drvDrive_Hint : QString());
    dlbDir->setToolTip(blnToolTip ? pstr_dlbDir_Hint : QString());
    txtDir->setToolTip(blnToolTip ? pstr_txtDir_Hint : QString());
}

void frmDefault::SetFontData() {
    applyFontData(program_.options, {this, btnOk, btnCancel, lblDrive, drvDrive, dlbDir, txtDir});
    drvDrive->resize(drvDrive->width(), drvDrive->sizeHint().height());
    txtDir->resize(txtDir->width(), txtDir->sizeHint().height());
    Form_Resize();
}

void frmDefault::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Form_Activate();
}

void frmDefault::closeEvent(QCloseEvent* event) {
    // The close box counts as Cancel.
    Form_QueryUnload();
    QDialog::closeEvent(event);
}

void frmDefault::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmDefault::Form_Activate() {
    pblnOk = false;
    SetToolTip(program_.options.Tip);
    const int top = toPixels(kPanelHeight + 60);
    const int height = std::max(lineHeight(lblDrive), lineHeight(cbxDrive));
    if (pblnYukoMukouOk) {
        cbxDrive->setGeometry(toPixels(60), top, cbxDrive->sizeHint().width(), height);
        cbxDrive->show();
        lblDrive->move(cbxDrive->x() + cbxDrive->width() + toPixels(60), top);
    } else {
        cbxDrive->setChecked(true);
        cbxDrive->hide();
        lblDrive->move(toPixels(60), top);
    }
    Form_Resize();
    btnOk->setEnabled(false);
}

void frmDefault::Form_Resize() {
    // The button panel across the top, the check box and label under it, then
    // drive list, folder list and folder text with 60-twip margins; the folder
    // list takes the spare height.
    pnlDefault->setGeometry(0, 0, width(), toPixels(kPanelHeight));
    placeTwips(btnOk, 60, 60, 1335, 375);
    placeTwips(btnCancel, 1455, 60, 1335, 375);
    const int labelHeight = std::max(lineHeight(lblDrive), lineHeight(cbxDrive));
    lblDrive->resize(std::max(0, width() - lblDrive->x() - toPixels(60)), labelHeight);

    const double w = std::round(toTwips(width()) - 120);
    const double h = std::round(toTwips(height()) - kPanelHeight - 300 - heightTwips(drvDrive) -
                                heightTwips(txtDir) - heightTwips(lblDrive));
    if (w <= 0)
        return;
    const int driveTop = lblDrive->y() + lblDrive->height() + toPixels(60);
    drvDrive->setGeometry(toPixels(60), driveTop, toPixels(w), drvDrive->height());
    const int folderTop = drvDrive->y() + drvDrive->height() + toPixels(60);
    dlbDir->setGeometry(toPixels(60), folderTop, toPixels(w),
                        h >= 1 ? toPixels(h) : dlbDir->height());
    txtDir->setGeometry(toPixels(60), folderTop + toPixels(h) + toPixels(60), toPixels(w),
                        txtDir->height());
}

void frmDefault::EnableControls() {
    const bool on = cbxDrive->isChecked();
    for (QWidget* widget : std::initializer_list<QWidget*>{lblDrive, drvDrive, dlbDir, txtDir})
        widget->setEnabled(on);
}

void frmDefault::UpdateDisplay() {
    const QString folder = LongPath(dlbDir->path());
    txtDir->setText(ShortPath(folder));
    // The free space of the volume that holds the folder (the drive shown).
    lblDrive->setText(pstr_lblDrive_Caption +
                      (pblnDiskFreeOk && !folder.isEmpty() ? FreeSpaceText(folder) : QString()));
}

void frmDefault::drvDrive_Change(const QString& root) {
    if (!dlbDir->setPath(root))
        drvDrive->setDriveOf(dlbDir->path());
}

} // namespace dravonel

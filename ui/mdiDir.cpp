#include "mdiDir.h"

#include "dialog_support.h"
#include "drive_list.h"
#include "folder_list.h"
#include "frmMenuMente.h"
#include "host.h"
#include "messages.h"
#include "paths.h"
#include "program.h"
#include "settings.h"
#include "twips.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>

#include <cmath>

namespace dravonel {

mdiDir::mdiDir(Session& session, Program& program, MessageHost& prompts, Role role, QWidget* parent)
    : Pane(session, program, prompts,
           role == Role::In ? QStringLiteral("InDir_") : QStringLiteral("OutDir_"), parent),
      drvDrive(new DriveList(this)), dlbDir(new FolderList(this)), txtDir(new QLineEdit(this)),
      role_(role) {
    const bool in = role == Role::In;
    setObjectName(in ? QStringLiteral("mdiInDir") : QStringLiteral("mdiOutDir"));
    drvDrive->setObjectName(QStringLiteral("drvDrive"));
    dlbDir->setObjectName(QStringLiteral("dlbDir"));
    txtDir->setObjectName(QStringLiteral("txtDir"));
    txtDir->setReadOnly(true);
    dlbDir->setContextMenuPolicy(Qt::NoContextMenu);
    txtDir->setContextMenuPolicy(Qt::NoContextMenu);

    addToolTip(drvDrive, in ? msg::TipInDrive : msg::TipOutDrive);
    addToolTip(dlbDir, in ? msg::TipInFolder : msg::TipOutFolder);
    addToolTip(txtDir, in ? msg::TipInFolderCurrent : msg::TipOutFolderCurrent);
    addFontTarget(drvDrive);
    addFontTarget(dlbDir);
    addFontTarget(txtDir);
    addPopupTarget(dlbDir->viewport());
    addPopupTarget(txtDir);

    mnuCopy = mnuPopup->addAction(QString(), this, [this] { mnuCopy_Click(); });
    mnuRefresh = mnuPopup->addAction(QString(), this, [this] { RefreshForm(); });
    mnuAdd = mnuPopup->addAction(QString(), this, [this] { mnuAdd_Click(); });
    mnuMente = mnuPopup->addAction(QString(), this, [this] { mnuMente_Click(); });
    mnuBar = mnuPopup->addSeparator();
    for (int i = 0; i < kAliases; ++i) {
        mnuAddDir[size_t(i)] =
            mnuPopup->addAction(QString(), this, [this, i] { mnuAddDir_Click(i); });
        mnuAddDir[size_t(i)]->setObjectName(QStringLiteral("mnuAddDir%1").arg(i));
    }
    mnuCopy->setObjectName(QStringLiteral("mnuCopy"));
    mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
    mnuAdd->setObjectName(QStringLiteral("mnuAdd"));
    mnuMente->setObjectName(QStringLiteral("mnuMente"));
    mnuBar->setObjectName(QStringLiteral("mnuBar"));
    applyAliasMenuState();

    connect(&session_, &Session::folderSet, this, [this](Role which) {
        if (which == role_)
            showFolder();
    });
    connect(dlbDir, &FolderList::pathChanged, this, [this] { dirChanged(); });
    connect(drvDrive, &DriveList::driveChanged, this, &mdiDir::driveChanged);
    connect(drvDrive, &DriveList::returnPressed, this, [this] { dlbDir->setFocus(); });
}

QString mdiDir::key(const char* in, const char* out) const {
    return QLatin1String(role_ == Role::In ? in : out);
}

QString mdiDir::DirName() const {
    return session_.folder(role_);
}

void mdiDir::setDirName(const QString& folder) {
    session_.setFolder(role_, folder);
}

void mdiDir::showFolder() {
    {
        // RefreshForm runs the folder-change handling once for the new folder.
        const QSignalBlocker quiet(dlbDir);
        dlbDir->setPath(session_.folder(role_));
    }
    RefreshForm();
}

void mdiDir::RefreshForm() {
    drvDrive->refresh();
    drvDrive->setDriveOf(dlbDir->path());
    dlbDir->refresh();
    dirChanged();
}

void mdiDir::dirChanged() {
    // The folder text and, for the output pane, the free space in the caption.
    const QString longForm = LongPath(dlbDir->path());
    txtDir->setText(longForm.isEmpty() ? QString() : ShortPath(longForm));
    if (role_ == Role::Out) {
        // The file system of the folder itself: a folder may be a mount of its
        // own, or reached through a link, below the drive shown.
        const QString free = longForm.isEmpty() ? QString() : FreeSpaceText(longForm);
        setWindowTitle(resDravonel(msg::OutFolderTitle) + free);
    }
    session_.noteFolderListed(role_, dlbDir->path());
}

void mdiDir::driveChanged(const QString& root) {
    // A volume that cannot be listed puts the drive list back.
    if (!dlbDir->setPath(root))
        drvDrive->setDriveOf(dlbDir->path());
}

void mdiDir::applyAliasMenuState() {
    for (int i = 0; i < kAliases; ++i) {
        QAction* item = mnuAddDir[size_t(i)];
        // An ampersand in a name is shown as it is, not taken as the item's key.
        item->setText(
            i <= last_ ? QString(names_[size_t(i)]).replace(QLatin1Char('&'), QStringLiteral("&&"))
                       : QString());
        item->setVisible(i <= last_);
    }
    mnuBar->setVisible(last_ >= 0);
    mnuMente->setEnabled(last_ >= 0);
    mnuAdd->setEnabled(last_ < kAliases - 1);
}

void mdiDir::Form_Load() {
    session_.loadFolder(role_, program_.store);
    loadGeometry();
    SetFontData();
    if (role_ == Role::In)
        setWindowTitle(resDravonel(msg::InFolderTitle));
    mnuCopy->setText(
        resDravonel(role_ == Role::In ? msg::CaptionOutFolderSame : msg::CaptionInFolderSame));
    mnuRefresh->setText(resAll(common_msg::Refresh));
    mnuAdd->setText(resAll(common_msg::AliasAdd));
    mnuMente->setText(resAll(common_msg::AliasMaintain));
    SetToolTip(program_.options.Tip);

    // The aliases end at the first index whose name or folder is empty.
    const WindowSettings keys(program_.store, stem().chopped(1));
    const QString nameStem = key("Dir_In_DirName", "Dir_Out_DirName");
    const QString dirStem = key("Dir_In_DirDir", "Dir_Out_DirDir");
    last_ = kAliases - 1;
    for (int i = 0; i < kAliases; ++i) {
        const QString name = keys.read(nameStem + QString::number(i), QString());
        const QString folder = keys.read(dirStem + QString::number(i), QString());
        if (name.isEmpty() || folder.isEmpty()) {
            last_ = i - 1;
            break;
        }
        names_[size_t(i)] = name;
        folders_[size_t(i)] = folder;
    }
    for (int i = last_ + 1; i < kAliases; ++i) {
        names_[size_t(i)].clear();
        folders_[size_t(i)].clear();
    }
    applyAliasMenuState();
}

void mdiDir::Form_QueryUnload() {
    saveGeometry();
    session_.saveFolder(role_, program_.store);
    const WindowSettings keys(program_.store, stem().chopped(1));
    const QString nameStem = key("Dir_In_DirName", "Dir_Out_DirName");
    const QString dirStem = key("Dir_In_DirDir", "Dir_Out_DirDir");
    for (int i = 0; i < kAliases; ++i) {
        const bool used = i <= last_;
        keys.write(nameStem + QString::number(i), used ? names_[size_t(i)] : QString());
        keys.write(dirStem + QString::number(i), used ? folders_[size_t(i)] : QString());
    }
}

void mdiDir::mnuCopy_Click() {
    const QString folder = dlbDir->path();
    if (!folder.isEmpty())
        session_.setFolder(role_ == Role::In ? Role::Out : Role::In, folder);
}

void mdiDir::mnuAdd_Click() {
    if (last_ >= kAliases - 1)
        return;
    const QString folder = DirName();
    const QString answer =
        prompts_->inputBox(resAll(common_msg::AliasNamePrompt) + QChar(13) + folder,
                           resAll(common_msg::AliasNameTitle), ShortPath(folder));
    if (answer.isEmpty())
        return;
    for (int i = 0; i <= last_; ++i) {
        if (names_[size_t(i)] == answer) {
            prompts_->showMessage(resAll(common_msg::AliasNameDuplicate));
            return;
        }
    }
    ++last_;
    names_[size_t(last_)] = answer;
    folders_[size_t(last_)] = folder;
    applyAliasMenuState();
}

void mdiDir::mnuAddDir_Click(int index) {
    if (index >= 0 && index <= last_)
        setDirName(folders_[size_t(index)]);
}

void mdiDir::mnuMente_Click() {
    if (last_ < 0)
        return;
    if (!aliasDialog_) {
        aliasDialog_ = new frmMenuMente(program_, window());
        aliasDialog_->Form_Load();
    }
    frmMenuMente& dialog = *aliasDialog_;
    for (int i = 0; i < kAliases; ++i) {
        if (i <= last_)
            dialog.Set_Menu(i, names_[size_t(i)], folders_[size_t(i)]);
        else
            dialog.Set_Menu(i, QString(), QString());
    }
    dialog.pstr_Me_Caption =
        resDravonel(role_ == Role::In ? msg::InFolderTitle : msg::OutFolderTitle);
    dialog.pblnOk = false;
    dialog.exec();
    if (!dialog.pblnOk)
        return;
    last_ = std::clamp<int>(dialog.MenuCount(), -1, kAliases - 1);
    for (int i = 0; i < kAliases; ++i) {
        if (i <= last_) {
            dialog.Get_Menu(i, names_[size_t(i)], folders_[size_t(i)]);
        } else {
            names_[size_t(i)].clear();
            folders_[size_t(i)].clear();
        }
    }
    applyAliasMenuState();
}

QSize mdiDir::minimumContentSize() const {
    // The drive list, the folder list and the folder's text, one above the
    // other (margins as in Form_Resize).
    return {toPixels(1500), drvDrive->sizeHint().height() + minimumListHeight() +
                                txtDir->sizeHint().height() + toPixels(240)};
}

void mdiDir::Form_Resize() {
    const double w = std::round(toTwips(width()) - 120);
    const double driveHeight = toTwips(drvDrive->sizeHint().height());
    const double textHeight = toTwips(txtDir->sizeHint().height());
    const double h = std::round(toTwips(height()) - 240 - driveHeight - textHeight);
    if (w <= 0)
        return;
    drvDrive->setGeometry(toPixels(60), toPixels(60), toPixels(w), drvDrive->sizeHint().height());
    const int listTop = toPixels(driveHeight + 120);
    const int listHeight = h > 0 ? toPixels(h) : dlbDir->height();
    dlbDir->setGeometry(toPixels(60), listTop, toPixels(w), listHeight);
    txtDir->setGeometry(toPixels(60), listTop + listHeight + toPixels(60), toPixels(w),
                        txtDir->sizeHint().height());
}

QWidget* mdiDir::focusControl() const {
    return drvDrive;
}

} // namespace dravonel

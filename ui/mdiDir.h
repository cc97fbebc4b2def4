// The input and output folder panes: one class in two roles. Each shows the
// mounted volumes, a folder list and the open folder in short form, and keeps
// up to ten named folder aliases in its pop-up menu.
#pragma once

#include "pane.h"
#include "session.h"

#include <array>

class QAction;
class QLineEdit;

namespace dravonel {

class DriveList;
class FolderList;
class frmMenuMente;

class mdiDir : public Pane {
    Q_OBJECT
public:
    using Role = Session::Folder;
    static constexpr int kAliases = 10;

    mdiDir(Session& session, Program& program, MessageHost& prompts, Role role,
           QWidget* parent = nullptr);

    Role role() const { return role_; }
    // The long form of the open folder ("" when it has none).
    QString DirName() const;
    // Opens a folder in the session; one that cannot be opened gives the
    // process's current folder, without a message.
    void setDirName(const QString& folder);
    // Re-reads the drive and folder lists, then runs the folder-change handling.
    void RefreshForm();

    // Reads the folder settings (into the session), geometry, font, captions,
    // tool-tips and aliases.
    void Form_Load() override;
    // Writes geometry, the folders and the twenty alias keys.
    void Form_QueryUnload() override;
    void Form_Resize() override;
    QSize minimumContentSize() const override;
    // The control that takes the keyboard focus at the first activation.
    QWidget* focusControl() const override;

    // The alias dialog shared with the main window; without one the pane
    // loads its own at the first use.
    void setAliasDialog(frmMenuMente* dialog) { aliasDialog_ = dialog; }
    // Pop-up commands.
    void mnuCopy_Click();
    void mnuAdd_Click();
    void mnuAddDir_Click(int index);
    void mnuMente_Click();

    // The last alias index (-1: none) and the folder of an alias.
    int aliasLast() const { return last_; }
    QString aliasFolder(int i) const { return folders_.at(size_t(i)); }

    DriveList* drvDrive;
    FolderList* dlbDir;
    QLineEdit* txtDir;
    QAction* mnuCopy;
    QAction* mnuRefresh;
    QAction* mnuAdd;
    QAction* mnuMente;
    QAction* mnuBar;
    std::array<QAction*, kAliases> mnuAddDir{};

private:
    // Shows the session's folder, listed again.
    void showFolder();
    void dirChanged();
    void driveChanged(const QString& root);
    void applyAliasMenuState();
    QString key(const char* in, const char* out) const;

    Role role_;
    frmMenuMente* aliasDialog_ = nullptr;
    int last_ = -1;
    std::array<QString, kAliases> names_;
    std::array<QString, kAliases> folders_;
};

} // namespace dravonel

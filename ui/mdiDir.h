// The input and output folder panes: one class in two roles. Each shows the
// mounted volumes, a folder list and the open folder in short form, and keeps
// up to ten named folder aliases in its pop-up menu.
#pragma once

#include "pane.h"

#include <array>

class QAction;
class QLineEdit;

namespace dravonel {

class DriveList;
class FolderList;
class MessageHost;
class frmMenuMente;

class mdiDir : public Pane {
    Q_OBJECT
public:
    enum class Role { In, Out };
    static constexpr int kAliases = 10;

    mdiDir(frmDravonel& main, Program& program, Role role, QWidget* parent = nullptr);

    Role role() const { return role_; }
    // The long form of the open folder ("" when it has none).
    QString DirName() const;
    // Opens a folder; one that cannot be opened gives the process's current
    // folder, without a message.
    void setDirName(const QString& folder);
    // The folder last given to setDirName, as given, and whether it is the one
    // shown (false: it could not be opened, the pane shows the current folder).
    QString givenFolder() const { return given_; }
    bool openedGivenFolder() const { return opened_; }
    // Re-reads the drive and folder lists, then runs the folder-change handling.
    void RefreshForm();

    // Reads the folders and aliases (in every mode), then geometry, font,
    // captions and tool-tips.
    void Form_Load() override;
    // Writes geometry, the folders and the twenty alias keys.
    void Form_QueryUnload() override;
    void Form_Resize() override;
    QSize minimumContentSize() const override;
    // The control that takes the keyboard focus at the first activation.
    QWidget* focusControl() const;

    // The alias dialog shared with the main window; without one the pane
    // loads its own at the first use.
    void setAliasDialog(frmMenuMente* dialog) { aliasDialog_ = dialog; }
    // The input and message boxes (tests answer them).
    void setPrompts(MessageHost& prompts) { prompts_ = &prompts; }

    // Pop-up commands.
    void mnuCopy_Click();
    void mnuAdd_Click();
    void mnuAddDir_Click(int index);
    void mnuMente_Click();

    // The last alias index (-1: none) and the folder of an alias.
    int aliasLast() const { return last_; }
    QString aliasFolder(int i) const { return folders_.at(size_t(i)); }

    // The default folder ("Dir_In"/"Dir_Out") and whether it is opened at
    // start ("Dir_In_Yuko"/"Dir_Out_Yuko"); the default-folders dialog edits them.
    QString defaultFolder;
    bool defaultInForce = true;

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
    void dirChanged();
    void driveChanged(const QString& root);
    void applyAliasMenuState();
    QString key(const char* in, const char* out) const;
    mdiDir* otherPane() const;

    Role role_;
    MessageHost* prompts_;
    frmMenuMente* aliasDialog_ = nullptr;
    int last_ = -1;
    QString given_;
    bool opened_ = true;
    std::array<QString, kAliases> names_;
    std::array<QString, kAliases> folders_;
};

} // namespace dravonel

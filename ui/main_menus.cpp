// The main window's menus: every command of the window in one table, built
// into the menu bar, each with the rule that enables it.
#include "command_table.h"
#include "frmDravonel.h"
#include "messages.h"
#include "run_strip.h"

#include <QPushButton>

namespace dravonel {

void frmDravonel::buildMenus() {
    const auto idle = [this] { return !running_; };
    const auto call = [this](void (frmDravonel::*handler)()) {
        return [this, handler] { (this->*handler)(); };
    };
    // Every command of the window: its menu ("" for the bar), name, caption,
    // key, handler (none for a menu) and the rule that enables it. The
    // commands of the common set are off while a run holds the window; the run
    // menu's items go with their buttons. An entry without a name is a
    // separator.
    const QKeySequence none;
    const QList<CommandTable::Entry> table = {
        {"", "mnuExit", "E(&x)it", none, call(&frmDravonel::mnuExit_Click), idle},
        {"", "mnuFont", "Fon(&t)", none, call(&frmDravonel::mnuFont_Click), idle},
        {"", "mnuLog", "(&L)og", none, nullptr, idle},
        {"mnuLog", "mnuLogCopy", "Log(&C)opy", none, call(&frmDravonel::mnuLogCopy_Click), idle},
        {"mnuLog", "mnuLogSave", "Log(&S)ave", none, call(&frmDravonel::mnuLogSave_Click), idle},
        {"", "mnuFile", "(&F)ile", none, nullptr, idle},
        {"mnuFile", "mnuOpen", "(&O)pen", QKeySequence(Qt::CTRL | Qt::Key_O),
         call(&frmDravonel::mnuOpen_Click), idle},
        {"mnuFile", "mnuSave", "(&S)ave", QKeySequence(Qt::CTRL | Qt::Key_S),
         call(&frmDravonel::mnuSave_Click), idle},
        {"mnuFile", "mnuSaveAs", "Save(&A)s", QKeySequence(Qt::CTRL | Qt::Key_A),
         call(&frmDravonel::mnuSaveAs_Click), idle},
        {"", "mnuDefault", "(&D)efault", none, nullptr, idle},
        {"mnuDefault", "mnuInDirDefault", "InDirDefault", none,
         call(&frmDravonel::mnuInDirDefault_Click), idle},
        {"mnuDefault", "mnuOutDirDefault", "OutDirDefault", none,
         call(&frmDravonel::mnuOutDirDefault_Click), idle},
        {"mnuDefault", "mnuTmpDirDefault", "TmpDirDefault", none,
         call(&frmDravonel::mnuTmpDirDefault_Click), idle},
        {"", "mnuName", "File(&N)ame", none, call(&frmDravonel::mnuname_Click), idle},
        {"", "mnuOption", "(&O)ption", none, call(&frmDravonel::mnuOption_Click), idle},
        {"", "mnuMkdir", "M(&k)dir", none, call(&frmDravonel::mnuMkdir_Click), idle},
        {"", "mnuHelp", "(&H)elp", none, call(&frmDravonel::mnuHelp_Click), idle},
        {"", "mnuAbout", "(&A)bout", none, call(&frmDravonel::mnuAbout_Click), idle},
        // The run menu: the mode buttons and cancel from the keyboard. Ctrl+1
        // to Ctrl+4 and Esc clash with no other key of the window.
        {"", "mnuRun", "(&R)un", none, nullptr, [] { return true; }},
        {"mnuRun", "mnuExe0", resDravonel(msg::ModeDravo), QKeySequence(Qt::CTRL | Qt::Key_1),
         [this] { exeButton(0)->click(); }, [this] { return modeOn(0); }},
        {"mnuRun", "mnuExe1", resDravonel(msg::ModeNormal), QKeySequence(Qt::CTRL | Qt::Key_2),
         [this] { exeButton(1)->click(); }, [this] { return modeOn(1); }},
        {"mnuRun", "mnuExe2", resDravonel(msg::ModeExp), QKeySequence(Qt::CTRL | Qt::Key_3),
         [this] { exeButton(2)->click(); }, [this] { return modeOn(2); }},
        {"mnuRun", "mnuExe3", resDravonel(msg::ModeFileN), QKeySequence(Qt::CTRL | Qt::Key_4),
         [this] { exeButton(3)->click(); }, [this] { return modeOn(3); }},
        {"mnuRun", "", "", none, nullptr, nullptr},
        {"mnuRun", "mnuCancel", resAll(common_msg::Cancel), QKeySequence(Qt::Key_Escape),
         [this] { cancelButton()->click(); }, [this] { return running_; }},
    };
    commands_ = std::make_unique<CommandTable>(*this, table);
}

} // namespace dravonel

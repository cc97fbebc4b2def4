// What the dialogs and the make-folder command need from the rest of the
// program. The main window implements it over its panes; tests use their own.
#pragma once

#include <QString>

namespace dravonel {

class DialogHost {
public:
    virtual ~DialogHost() = default;
    // `DirName` of the input-folder pane (the default-folders dialog's copy item).
    virtual QString inputFolder() = 0;
    // `DirName` of the output-folder pane (the default-folders dialog's copy
    // item; the parent of a new folder).
    virtual QString outputFolder() = 0;
    // Sets `DirName` of the output-folder pane (after a folder was made).
    virtual void setOutputFolder(const QString& folder) = 0;
    // `RefreshForm` of the input-folder pane (a new folder beside the input
    // folder shows up there at once).
    virtual void refreshInputFolder() = 0;
    // `SetToolTip(tip)` on every window, in this order: the default-folders
    // dialog, the folder-alias dialog, the options dialog, the main window, the
    // input-folder, input-file, target-list, output-folder, result-log and
    // output-file panes.
    virtual void SetToolTipAll(bool tip) = 0;
    // `Pattern_Make` of the input-file pane (the hidden-file option takes
    // effect at once).
    virtual void Pattern_Make() = 0;
    // `RefreshForm` of the target-list pane, which empties the target list.
    virtual void emptyTargetList() = 0;
};

} // namespace dravonel

// Icons of the picture buttons of the input-file pane, drawn by the program.
// The target-list pane's remove buttons use deleteIcon / deleteAllIcon.
#pragma once

#include <QIcon>

namespace dravonel {

// One page with an arrow to the right: add the selected files.
QIcon addIcon();
// A stack of pages with an arrow: add every listed file.
QIcon addAllIcon();
// A folder holding pages, with an arrow: add the files of the subfolders too.
QIcon addAllSubfoldersIcon();

} // namespace dravonel

// Icons the program draws itself (the four picture buttons of the folder-alias
// dialog), and the program's own icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace dravonel {

QIcon arrowUpIcon();
QIcon arrowDownIcon();
// One cross: delete the selected entry.
QIcon deleteIcon();
// A cross over a stack of entries: delete them all.
QIcon deleteAllIcon();

// The program's icon, the one the desktop installs (rendered from
// data/icons at build time, 16 to 256 pixels).
QIcon programIcon();

} // namespace dravonel

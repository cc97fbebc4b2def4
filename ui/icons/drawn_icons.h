// Icons the program draws itself: the four picture buttons of the folder-alias
// dialog and the program's own icon.
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

// The program's icon: a stack of documents pressed into a box, drawn at `size`
// pixels square.
QPixmap programIcon(int size);

} // namespace dravonel

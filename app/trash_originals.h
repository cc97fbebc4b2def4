// The originals of a run's archives moved to the desktop's trash (the
// freedesktop trash: files/ and info/NAME.trashinfo under
// ${XDG_DATA_HOME:-~/.local/share}/Trash, or the trash of the file's own
// volume), never deleted; a file that cannot be moved there stays where it is.
#pragma once

#include "run.h"

#include <QStringList>

#include <functional>

namespace dravonel {

// Moves each of `taken` (the files a run was given) that is not among
// `notArchived` to the trash. Each file that cannot be moved is told to
// `report` with the reason; returns how many could not.
int trashArchived(const QStringList& taken, const QList<NotArchived>& notArchived,
                  const std::function<void(const QString&)>& report);

} // namespace dravonel

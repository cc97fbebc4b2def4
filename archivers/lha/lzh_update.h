// Making an archive from a list of files, or updating one: which members are
// kept, which are replaced and which files are added, and the archive written
// from that plan.
#pragma once

#include "lzh_command.h"
#include "module.h"

namespace lha {

// Carries out a or u (unlha32.h): every member of the archive is kept byte
// for byte but those a file replaces, in place (a later member of the same
// path goes with the first); new files come after them.
// Returns the count of files passed over (0 when none), kErrNotFound when no
// file could be stored, or an error with the archive left as it was.
int createOrUpdate(const Command& cmd, arc::Progress& progress);

} // namespace lha

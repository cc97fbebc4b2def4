// The folders the program asks the system for.
#pragma once

#include <QString>

namespace dravonel {

// A private per-user temporary folder under the system temporary folder
// (`$TMPDIR`, else /tmp), named dravonel2-<uid>, created with mode 0700 and
// checked to be a real folder owned by the user, so another user cannot read,
// swap or plant files in it. Reported with a trailing separator, e.g.
// "/tmp/dravonel2-1000/"; "" when no such folder can be had.
QString TempFolder();

// The folder that holds the archiver modules, without a trailing separator:
// `$DRAVONEL2_SYSTEM_DIR` when set, else the installed module folder relative to
// the executable (<prefix>/lib/dravonel2), else the executable's own folder (the
// build tree keeps the modules beside the program). "" on failure.
QString SystemFolder();

// A per-user base folder of the desktop's conventions: the environment
// variable `variable` when it holds an absolute path, else `underHome` (e.g.
// ".config") in the home folder.
QString UserBaseFolder(const char* variable, const QString& underHome);

} // namespace dravonel

// libzip32j.so: makes and updates ZIP archives.
//
//   int Zip(void* owner, const char* cmdLine, char* output, unsigned long outputSize);
//
// The command line is UTF-8: blank-separated tokens, double quotes around a
// token with blanks. Switches:
//   -j          store bare file names (required: archives hold no folders)
//   -S          include hidden files (names beginning with "."); without it
//               they are skipped and counted
//   -0          store without compression; -1 ... -9 deflate levels (default 6)
//   -i@<file>   add the files listed in a response file (one "path" a line)
// The first other token is the archive, the rest are files to add. Any other
// switch is refused. An existing archive is updated: entries with the name of
// a new file are replaced, the others are kept byte for byte. `owner` and the
// output buffer are ignored.
//
// libzip32j.so works only with libizip32j.so beside it (in the same folder),
// which holds the archive engine.
//
// Results: 0 success; 1..32767 the number of files skipped (hidden without
// -S, unreadable, a second file with a name already stored) while the archive
// was still made; and
//   32773 disk full                     32774 the archive cannot be written
//   32783 no file could be stored       32791 the existing archive is damaged
//   32792 the existing archive cannot be opened
//   32793 the existing file is not a ZIP archive
//   32794 the response file cannot be read
//   32795 libizip32j.so is missing or unusable
//   32796 malformed command line or unknown switch
//   32797 out of memory                 32799 a call is already in progress
//   32800 cancelled by the progress callback
// On every failure an existing archive stays as it was. An existing archive
// keeps its permission bits; a new one gets 0666 less the umask. An archive
// whose owner has no write permission on it (mode bits, so root is refused
// too), or that the caller may not write, is refused with 32774. A call killed
// half-way leaves no temporary file behind where the file system supports
// nameless temporary files.
#pragma once

#include "module.h"

constexpr int kZipErrEngineMissing = 32795;

ARC_EXPORT int Zip(void* owner, const char* cmdLine, char* output, unsigned long outputSize);
ARC_EXPORT int ZipGetRunning(void);
ARC_EXPORT unsigned short ZipGetVersion(void); // 100 = 1.00
// Installs the progress callback (null removes it); see ArcProgressFn.
ARC_EXPORT void ZipSetProgress(ArcProgressFn fn, void* user);

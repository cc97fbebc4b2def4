// libizip32j.so: the ZIP archive engine behind libzip32j.so.
//
// libzip32j.so interprets the command line and hands the files to store to
// this module, which it loads from its own folder on the first call and keeps
// until it is itself unloaded; without libizip32j.so beside it, libzip32j.so
// does not work. The engine keeps its compressors and compression threads from
// call to call, and stops the threads when it is unloaded. It writes
// Deflate (method 8) or stored (method 0) entries (names as zip32j.h says), Unix
// permission bits, DOS and extended timestamps and ZIP64 records where needed,
// and updates an existing archive by copying the entries it keeps byte for
// byte (their stored names and extra fields included).
#pragma once

#include "module.h"

extern "C" {

typedef struct IZipSource {
    const char* path; // the file to read
    const char* name; // the entry name to store it under
} IZipSource;

// Adds the sources to `archive` (made new, or updated when it exists) at
// `level` 0 (store) to 9; `utf8Names` non-zero stores every name beyond ASCII
// in UTF-8 with the UTF-8 flag, zero a name CP932 holds in CP932 with the
// Unicode Path field (zip32j.h); `threads` (1 to 64, 0 for the default) is the
// most threads the call uses at once (-mt in zip32j.h). Result codes as for
// Zip() in zip32j.h, which returns this function's result.
typedef int (*IZipUpdateFn)(const char* archive, const IZipSource* sources, unsigned long count,
                            int level, int utf8Names, unsigned threads, ArcProgressFn progress,
                            void* user);
ARC_EXPORT int IZipUpdate(const char* archive, const IZipSource* sources, unsigned long count,
                          int level, int utf8Names, unsigned threads, ArcProgressFn progress,
                          void* user);
}

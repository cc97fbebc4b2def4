// Result codes shared by every archiver module, for the modules' C++ code: the
// values of the module interface's C enum (arc_module.h) under C++ names.
#pragma once

#include "arc_module.h"

namespace arc {

enum Result : int {
    kOk = ARC_OK,
    kMaxSkipped = ARC_MAX_SKIPPED,
    kErrDiskFull = ARC_ERR_DISK_FULL,
    kErrCannotWriteDest = ARC_ERR_CANNOT_WRITE_DEST,
    kErrMethod = ARC_ERR_METHOD,
    kErrFileCrc = ARC_ERR_FILE_CRC,
    kErrNotFound = ARC_ERR_NOT_FOUND,
    kErrCannotWriteFile = ARC_ERR_CANNOT_WRITE_FILE,
    kErrBadData = ARC_ERR_BAD_DATA,
    kErrHeaderCrc = ARC_ERR_HEADER_CRC,
    kErrHeaderBroken = ARC_ERR_HEADER_BROKEN,
    kErrArchiveOpen = ARC_ERR_ARCHIVE_OPEN,
    kErrNotArchive = ARC_ERR_NOT_ARCHIVE,
    kErrCannotRead = ARC_ERR_CANNOT_READ,
    kErrEngineMissing = ARC_ERR_ENGINE_MISSING,
    kErrCommand = ARC_ERR_COMMAND,
    kErrNoMemory = ARC_ERR_NO_MEMORY,
    kErrOutputSmall = ARC_ERR_OUTPUT_SMALL,
    kErrAlreadyRunning = ARC_ERR_ALREADY_RUNNING,
    kErrCancelled = ARC_ERR_CANCELLED,
};

// What a writer (an LZH member writer, the ZIP entry writer) returns for a
// file it passed over: nothing of it is left in the output, and the caller
// counts it as skipped. No result code of the interface has this value.
inline constexpr int kPassedOver = -1;

// Adds one skipped file to a running count without leaving the warning range.
inline int addSkipped(int count) {
    return count < kMaxSkipped ? count + 1 : kMaxSkipped;
}

} // namespace arc

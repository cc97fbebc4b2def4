// Result codes shared by every archiver module.
//
// 0 is success; 1..32767 is the number of listed files that were skipped while
// the archive was still made. Everything from 32768 up is a failure. The values
// follow the numbering the archiver-library interface has always used, so that
// callers written for it read them the same way.
#pragma once

namespace arc {

enum Result : int {
    kOk = 0,
    kMaxSkipped = 32767,         // skipped-file counts saturate here
    kErrDiskFull = 32773,        // no space left for the output
    kErrCannotWriteDest = 32774, // the destination (folder or file) cannot be written
    kErrMethod = 32777,          // a member uses a compression method this module cannot read
    kErrFileCrc = 32780,         // a member's data does not match its CRC
    kErrNotFound = 32783,        // nothing to do: no file could be stored, or no member matched
    kErrCannotWriteFile = 32787, // an extracted file could not be written
    kErrBadData = 32788,         // compressed data is damaged
    kErrHeaderCrc = 32790,       // a header fails its own check
    kErrHeaderBroken = 32791,    // a header is truncated or inconsistent
    kErrArchiveOpen = 32792,     // the archive to read cannot be opened
    kErrNotArchive = 32793,      // the file is not an archive of this format
    kErrCannotRead = 32794,      // reading the archive or the response file failed
    kErrCommand = 32796,         // unknown command, unknown switch or malformed command line
    kErrNoMemory = 32797,        // memory could not be allocated
    kErrAlreadyRunning = 32799,  // the module is already inside a call
    kErrCancelled = 32800,       // the progress callback asked to stop
};

// Adds one skipped file to a running count without leaving the warning range.
inline int addSkipped(int count) {
    return count < kMaxSkipped ? count + 1 : kMaxSkipped;
}

} // namespace arc

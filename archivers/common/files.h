// Reading input files and writing extracted files safely.
#pragma once

#include "atomic_output.h"
#include "results.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace arc {

// Opens a file for reading without waiting: a FIFO or a device opened the
// usual way blocks until a writer or a carrier appears. Returns the
// descriptor with `st` filled in (reads from a regular file block as usual;
// callers refuse any other kind before reading), or -1.
int openWithoutWaiting(const std::string& path, struct stat& st);

// Whether two statuses are of one file (the same inode of the same device),
// under whatever names it was reached.
inline bool sameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// One file to be stored, opened for reading.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens a regular file. Returns false for a missing, unreadable or non-regular
    // file; a FIFO, device or socket is refused without waiting on it.
    bool open(const std::string& path);
    // Reads up to `size` bytes; returns the count, 0 at the end, -1 on error.
    long long read(void* data, size_t size);
    void close();

    uint64_t size() const { return size_; }
    time_t mtime() const { return mtime_; }
    unsigned mode() const { return mode_; }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    time_t mtime_ = 0;
    unsigned mode_ = 0;
};

// Whether the file at `path` holds, as it is now, exactly the `size` bytes that
// `decode` hands, piece by piece, to the sink it is given (a sink that takes
// (const void*, size_t) and returns kOk, or kErrBadData at the first byte that
// differs); `decode` returns kOk when all went through. An update uses it to
// tell a member that holds its file's bytes already, whatever the clock says.
template <class Decode> bool fileHolds(const std::string& path, uint64_t size, Decode&& decode) {
    InputFile in;
    if (!in.open(path) || in.size() != size)
        return false;
    std::vector<unsigned char> file;
    const int rc = decode([&](const void* data, size_t n) {
        file.resize(n);
        const bool same = in.read(file.data(), n) == static_cast<long long>(n) &&
                          std::memcmp(file.data(), data, n) == 0;
        return same ? kOk : kErrBadData;
    });
    unsigned char more;
    return rc == kOk && in.read(&more, 1) == 0;
}

// Reads exactly `size` bytes at `offset` of an open file of `fileSize` bytes;
// false for a range beyond the end or a failed or short read.
bool readExactlyAt(int fd, uint64_t fileSize, uint64_t offset, void* data, size_t size);

// True for names the desktop hides (beginning with ".").
bool isHiddenName(const std::string& name);

// Modification time of a file, or -1 when it cannot be read.
time_t fileMtime(const std::string& path);

// Reduces a member name from an archive to a bare file name that can only land
// inside the destination folder: the last component after "/" (or "\" too when
// `backslashSeparates`, as in names made on DOS and Windows), with control
// characters (but the tab) and names longer than NAME_MAX bytes refused. Returns "" when
// nothing safe remains ("", ".", "..").
std::string safeMemberName(const std::string& stored, bool backslashSeparates = true);

// An extracted file: written to a temporary file in the destination folder, and
// put in place of any file of the same name there only when complete (a
// symbolic link found there is replaced, never written through).
//
// Extraction never fills the destination's file system: a file whose declared
// size, or whose bytes as they come, would leave less than a small reserve of
// the space free for the user (statvfs f_bavail) is stopped with kErrDiskFull
// and nothing of it is left behind.
class ExtractedFile {
public:
    ExtractedFile() = default;
    ~ExtractedFile();
    ExtractedFile(const ExtractedFile&) = delete;
    ExtractedFile& operator=(const ExtractedFile&) = delete;

    // `name` must come from safeMemberName(); `size` is the size the archive
    // declares. Returns kOk, kErrDiskFull (no room for `size` bytes) or
    // kErrCannotWriteFile.
    int open(const std::string& folder, const std::string& name, uint64_t size = 0);
    // Returns kOk, kErrDiskFull or kErrCannotWriteFile.
    int write(const void* data, size_t size);
    // Sets the permission bits (the rwx bits of `mode`, never setuid, setgid or
    // sticky; -1 for 0666 less the umask) and the modification time, then
    // renames into place.
    int commit(time_t mtime, int mode = -1);
    void abort();

private:
    int flush();

    TempFile temp_;
    std::string dir_;
    std::string finalPath_;
    std::string buffer_;
};

} // namespace arc

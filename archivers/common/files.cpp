#include "files.h"

#include "atomic_output.h"
#include "results.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace arc {

namespace {

// The process's umask, read without changing it: umask() tells it only by
// setting another for a moment, which races with other threads creating files.
// The kernel states it in /proc/self/status; where that cannot be read, the
// most private mask is taken.
mode_t processUmask() {
    constexpr mode_t kPrivate = 077;
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return kPrivate;
    char text[4096];
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0)
        return kPrivate;
    text[got] = '\0';
    const char* line = std::strstr(text, "\nUmask:");
    if (!line)
        return kPrivate;
    return static_cast<mode_t>(std::strtoul(line + 7, nullptr, 8)) & 0777;
}

constexpr size_t kExtractBuffer = 1 << 20;
// Files larger than this are asked to be read ahead (they are read in pieces).
constexpr uint64_t kReadAheadFrom = 1 << 20;

// Room left free on the destination's file system for its own records.
constexpr uint64_t kFreeReserve = 64 << 10;

// Whether `size` more bytes fit on the file system of the folder `dir`,
// keeping kFreeReserve free; with `spend`, they are taken as written. True
// when the space cannot be read. The free space is read again only when the
// bytes asked for exceed half of what was free at the last reading, less what
// was written since, or that reading is more than kFreshFor old: extracting
// many small files asks the kernel about once, not once per file.
constexpr auto kFreshFor = std::chrono::seconds(1);
bool fits(const std::string& dir, uint64_t size, bool spend) {
    struct Room {
        std::string dir;
        uint64_t budget = 0; // bytes that may still be written without asking
        std::chrono::steady_clock::time_point read;
    };
    thread_local Room room;
    const auto now = std::chrono::steady_clock::now();
    if (room.dir != dir || now - room.read > kFreshFor || size > room.budget) {
        room.dir.clear();
        struct statvfs fsInfo;
        if (::statvfs(dir.c_str(), &fsInfo) != 0)
            return true;
        const uint64_t avail = static_cast<uint64_t>(fsInfo.f_bavail) * fsInfo.f_frsize;
        if (avail < kFreeReserve || size > avail - kFreeReserve)
            return false;
        room.dir = dir;
        room.budget = (avail - kFreeReserve) / 2;
        room.read = now;
        if (size > room.budget)
            room.budget = size;
    }
    if (spend)
        room.budget -= size;
    return true;
}

} // namespace

InputFile::~InputFile() {
    close();
}

int openWithoutWaiting(const std::string& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // The only status flag set at the open is O_NONBLOCK: setting none
    // clears it, without asking for the flags first.
    if (::fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && ::fcntl(fd, F_SETFL, 0) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool InputFile::open(const std::string& path) {
    close();
    // A FIFO or a device is refused at once, never waited on.
    struct stat st;
    fd_ = openWithoutWaiting(path, st);
    if (fd_ < 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        close();
        return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    mtime_ = st.st_mtime;
    mode_ = st.st_mode & 07777;
    // Read-ahead helps a file read in many pieces; one read in one go (most
    // files) is spared the call.
    if (size_ > kReadAheadFrom)
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

long long InputFile::read(void* data, size_t size) {
    auto* out = static_cast<unsigned char*>(data);
    size_t total = 0;
    while (total < size) {
        ssize_t got = ::read(fd_, out + total, size - total);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        total += static_cast<size_t>(got);
    }
    return static_cast<long long>(total);
}

void InputFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool readExactlyAt(int fd, uint64_t fileSize, uint64_t offset, void* data, size_t size) {
    if (offset > fileSize || size > fileSize - offset)
        return false;
    auto* out = static_cast<unsigned char*>(data);
    while (size > 0) {
        ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        size -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

bool isHiddenName(const std::string& name) {
    return !name.empty() && name[0] == '.';
}

time_t fileMtime(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    return st.st_mtime;
}

std::string safeMemberName(const std::string& stored, bool backslashSeparates) {
    const size_t cut = stored.find_last_of(backslashSeparates ? "/\\" : "/");
    const std::string name = cut == std::string::npos ? stored : stored.substr(cut + 1);
    // A component longer than the file system allows (NAME_MAX) could never
    // be created: it is refused here rather than failing as an unwritable file.
    if (name.empty() || name == "." || name == ".." || name.size() > NAME_MAX)
        return "";
    // Control characters are refused but for the tab, a blank that Linux names
    // hold like any other (and the program's own lists keep on one line).
    for (unsigned char c : name) {
        if ((c < 0x20 && c != '\t') || c == 0x7f)
            return "";
    }
    return name;
}

ExtractedFile::~ExtractedFile() {
    abort();
}

int ExtractedFile::open(const std::string& folder, const std::string& name, uint64_t size) {
    abort();
    std::string dir = folder.empty() ? std::string(".") : folder;
    if (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (!fits(dir, size, false))
        return kErrDiskFull;
    dir_ = dir;
    finalPath_ = (dir == "/" ? dir : dir + "/") + name;
    if (!makeTemp(dir_, "extract", 0600, temp_))
        return kErrCannotWriteFile;
    buffer_.reserve(kExtractBuffer);
    return kOk;
}

int ExtractedFile::flush() {
    if (!fits(dir_, buffer_.size(), true))
        return kErrDiskFull;
    const char* p = buffer_.data();
    size_t left = buffer_.size();
    while (left > 0) {
        ssize_t done = ::write(temp_.fd, p, left);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            return (err == ENOSPC || err == EDQUOT) ? kErrDiskFull : kErrCannotWriteFile;
        }
        p += done;
        left -= static_cast<size_t>(done);
    }
    buffer_.clear();
    return kOk;
}

int ExtractedFile::write(const void* data, size_t size) {
    if (temp_.fd < 0)
        return kErrCannotWriteFile;
    if (buffer_.size() + size > kExtractBuffer) {
        int rc = flush();
        if (rc != kOk)
            return rc;
    }
    buffer_.append(static_cast<const char*>(data), size);
    if (buffer_.size() >= kExtractBuffer)
        return flush();
    return kOk;
}

// A nameless file is linked in under its own name when that is free (one
// entry made in the folder, where a named one costs two and a rename), else
// under a fresh hidden name that is renamed over the file there once closed.
int ExtractedFile::commit(time_t mtime, int mode) {
    if (temp_.fd < 0)
        return kErrCannotWriteFile;
    int rc = flush();
    if (mode < 0)
        mode = static_cast<int>(0666 & ~processUmask());
    if (rc == kOk && ::fchmod(temp_.fd, static_cast<mode_t>(mode) & 0777) != 0)
        rc = kErrCannotWriteFile;
    if (rc == kOk) {
        struct timespec times[2];
        times[0].tv_sec = mtime;
        times[0].tv_nsec = 0;
        times[1] = times[0];
        ::futimens(temp_.fd, times);
    }
    bool placed = false; // linked in under its own name, a name no file had
    if (rc == kOk && temp_.path.empty()) {
        if (linkOrNameBeside(temp_, finalPath_, true) != 0)
            rc = kErrCannotWriteFile;
        placed = rc == kOk && temp_.path.empty();
    }
    if (::close(temp_.fd) != 0 && rc == kOk)
        rc = kErrCannotWriteFile;
    temp_.fd = -1;
    if (rc == kOk && !placed && ::rename(temp_.path.c_str(), finalPath_.c_str()) != 0)
        rc = kErrCannotWriteFile;
    if (rc != kOk && placed)
        ::unlink(finalPath_.c_str());
    if (rc == kOk && !placed)
        temp_.path.clear(); // renamed into place
    dropTemp(temp_);
    return rc;
}

void ExtractedFile::abort() {
    dropTemp(temp_);
    buffer_.clear();
}

} // namespace arc

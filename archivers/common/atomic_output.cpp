#include "atomic_output.h"

#include "files.h"
#include "results.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace arc {

namespace {

constexpr size_t kBufferSize = 1 << 20;

// How long a replacement waits for the lock on the archive it replaces. The
// modules hold it only for a check and a rename; another program that holds
// it longer fails the replacement rather than holding it up for good.
constexpr int kLockWaitMs = 2000;

// Takes the exclusive lock on `fd` within kLockWaitMs. True when taken, or
// when the file system offers no such lock (the caller's check still holds,
// only without the wait).
bool lockWithin(int fd) {
    for (int waited = 0;; ++waited) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return true;
        if (waited == kLockWaitMs)
            return false;
        const timespec ms{0, 1000000};
        ::nanosleep(&ms, nullptr);
    }
}

// Pieces this large go to the file as they are (after what is gathered), not
// through the buffer: a copy and the buffer's pages saved, for a syscall that
// costs little beside them.
constexpr size_t kDirectFrom = 64 << 10;

// The most one write call is given: measured on 100 MB of output, calls of
// 8 MiB cost the process 0.02 to 0.27 s of system time from run to run, calls
// of 1 MiB a steady 0.02 to 0.04 s.
constexpr size_t kMostPerWrite = 1 << 20;

// Writes every byte, at `offset` when there is one, else at the file's
// position; a write a signal interrupted is made again.
int writeAll(int fd, const unsigned char* data, size_t size,
             std::optional<uint64_t> offset = std::nullopt) {
    while (size > 0) {
        const size_t n = std::min(size, kMostPerWrite);
        const ssize_t done =
            offset ? ::pwrite(fd, data, n, static_cast<off_t>(*offset)) : ::write(fd, data, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return writeErrorCode(errno);
        }
        data += done;
        size -= static_cast<size_t>(done);
        if (offset)
            *offset += static_cast<uint64_t>(done);
    }
    return kOk;
}

std::string withSlash(const std::string& dir) {
    if (dir.empty() || dir.back() == '/')
        return dir;
    return dir + '/';
}

// A hidden name in `folder` after `base` that no file has yet, for a moment.
// Only the start of a long base is taken, so that the name stays well within
// the 255 bytes a name may have whatever the archive's own name is.
std::string freshName(const std::string& folder, const std::string& base) {
    static std::atomic<unsigned> counter{0};
    constexpr size_t kBaseBytes = 200;
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long tag = static_cast<unsigned long>(now.tv_nsec) ^
                              static_cast<unsigned long>(::getpid()) << 20 ^ counter++;
    return withSlash(folder) + "." + base.substr(0, kBaseBytes) + "." +
           std::to_string(tag % 1000000000ul);
}

// Whether a nameless file can be given a name: through its entry in
// /proc/self/fd, which a system without /proc lacks.
bool namelessFilesCanBeNamed() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// Gives the nameless file open as `fd` the name `path`, never in place of a
// file: 0, or an errno (EEXIST when a file has that name).
int linkNameless(int fd, const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                            : errno;
}

} // namespace

bool makeTemp(const std::string& dir, const std::string& base, mode_t mode, TempFile& temp) {
    temp.path.clear();
    const std::string folder = dir.empty() ? std::string(".") : dir;
    if (namelessFilesCanBeNamed()) {
        temp.fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (temp.fd >= 0)
            return true;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = freshName(folder, base);
        temp.fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, mode);
        if (temp.fd >= 0) {
            temp.path = std::move(name);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

void dropTemp(TempFile& temp) {
    if (temp.fd >= 0)
        ::close(temp.fd);
    if (!temp.path.empty())
        ::unlink(temp.path.c_str());
    temp = TempFile();
}

int linkOrNameBeside(TempFile& temp, const std::string& destination, bool replacing) {
    const int err = linkNameless(temp.fd, destination);
    if (err != EEXIST || !replacing)
        return err;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = freshName(folderOf(destination), baseNameOf(destination));
        const int failed = linkNameless(temp.fd, name);
        if (failed == 0)
            temp.path = std::move(name);
        if (failed != EEXIST)
            return failed;
    }
    return EEXIST;
}

namespace {

// Gives a nameless temporary file the destination's name. Returns 0 or an errno.
// A new archive (`replacing` false) never takes the place of a file that
// appeared under its name while it was written: EEXIST.
int linkIntoPlace(int fd, const std::string& destination, bool replacing) {
    TempFile named{fd, {}};
    const int err = linkOrNameBeside(named, destination, replacing);
    if (err != 0 || named.path.empty())
        return err;
    // A destination exists: the fresh name is renamed over it.
    if (::rename(named.path.c_str(), destination.c_str()) == 0)
        return 0;
    const int renameErr = errno;
    ::unlink(named.path.c_str());
    return renameErr;
}

// Moves a finished temporary file to the destination. Returns 0 or an errno.
// Only a replacement is renamed over the destination; a new archive fails
// (EEXIST) when a file took the name meanwhile. Where the file system has no
// rename that never replaces (NFS), a hard link does the same.
int moveIntoPlace(const TempFile& temp, const std::string& destination, bool replacing) {
    if (temp.path.empty())
        return linkIntoPlace(temp.fd, destination, replacing);
    if (replacing)
        return ::rename(temp.path.c_str(), destination.c_str()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, temp.path.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::link(temp.path.c_str(), destination.c_str()) != 0)
        return errno;
    ::unlink(temp.path.c_str());
    return 0;
}

// Whether `st` and `then` describe one file with the same contents, as far as
// its size and modification time tell.
bool sameFile(const struct stat& st, const struct stat& then) {
    return sameInode(st, then) && st.st_size == then.st_size &&
           st.st_mtim.tv_sec == then.st_mtim.tv_sec && st.st_mtim.tv_nsec == then.st_mtim.tv_nsec;
}

// Whether an existing destination may be replaced: see the header.
bool mayReplace(const std::string& path, const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) &&
           ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

} // namespace

int writeErrorCode(int err) {
    return (err == ENOSPC || err == EDQUOT || err == EFBIG) ? kErrDiskFull : kErrCannotWriteDest;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

AtomicOutput::~AtomicOutput() {
    abort();
}

int AtomicOutput::open(const std::string& destination, const std::string& workDir,
                       const struct stat* readFrom) {
    abort();
    destination_ = destination;
    written_ = 0;
    struct stat st;
    // The destination itself, not what a link there names: renamed over, a
    // link would be gone and the archive it names left as it was.
    replacing_ = ::lstat(destination.c_str(), &st) == 0;
    if (!replacing_ && errno != ENOENT)
        return kErrCannotWriteDest;
    // What the caller read must still be there: the archive it read, or no
    // file at all.
    if (replacing_ != (readFrom != nullptr) ||
        (replacing_ && (!mayReplace(destination, st) || !sameFile(st, *readFrom))))
        return kErrCannotWriteDest;
    if (replacing_) {
        mode_ = st.st_mode & 0777;
        replaced_ = st;
        struct stat held;
        replacedFd_ = ::open(destination.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (replacedFd_ < 0 || ::fstat(replacedFd_, &held) != 0 || !sameFile(held, st)) {
            abort();
            return kErrCannotWriteDest;
        }
    }
    buffer_.reserve(kBufferSize);
    tempFolder_ = workDir.empty() ? folderOf(destination) : workDir;
    TempFile temp;
    if (!makeTemp(tempFolder_, baseNameOf(destination), tempMode(), temp)) {
        tempFolder_.clear();
        return kErrCannotWriteDest;
    }
    fd_ = temp.fd;
    tempPath_ = temp.path;
    return kOk;
}

int AtomicOutput::flush() {
    if (buffer_.empty())
        return kOk;
    int rc = writeAll(fd_, buffer_.data(), buffer_.size());
    written_ += buffer_.size();
    buffer_.clear();
    return rc;
}

int AtomicOutput::write(const void* data, size_t size) {
    if (fd_ < 0)
        return kErrCannotWriteDest;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (buffer_.size() + size > kBufferSize || size >= kDirectFrom) {
        int rc = flush();
        if (rc != kOk)
            return rc;
        if (size >= kDirectFrom) {
            rc = writeAll(fd_, bytes, size);
            written_ += size;
            return rc;
        }
    }
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return kOk;
}

int AtomicOutput::patch(uint64_t offset, const void* data, size_t size) {
    if (fd_ < 0)
        return kErrCannotWriteDest;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (offset >= written_) {
        // Still in the buffer.
        size_t at = static_cast<size_t>(offset - written_);
        if (at + size > buffer_.size())
            return kErrCannotWriteDest;
        std::memcpy(buffer_.data() + at, bytes, size);
        return kOk;
    }
    if (offset + size > written_) {
        int rc = flush();
        if (rc != kOk)
            return rc;
    }
    return writeAll(fd_, bytes, size, offset);
}

int AtomicOutput::truncate(uint64_t size) {
    if (fd_ < 0 || size > tell())
        return kErrCannotWriteDest;
    if (size >= written_) {
        buffer_.resize(static_cast<size_t>(size - written_));
        return kOk;
    }
    buffer_.clear();
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 ||
        ::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0)
        return writeErrorCode(errno);
    written_ = size;
    return kOk;
}

int AtomicOutput::copyBeside() {
    // The work folder is on another file system: copy into a second temporary
    // file beside the destination, then move that one.
    TempFile beside;
    if (!makeTemp(folderOf(destination_), baseNameOf(destination_), tempMode(), beside))
        return kErrCannotWriteDest;
    int rc = kOk;
    std::vector<unsigned char> chunk(kBufferSize);
    for (uint64_t at = 0; rc == kOk && at < written_;) {
        ssize_t got = ::pread(fd_, chunk.data(), chunk.size(), static_cast<off_t>(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            rc = kErrCannotWriteDest;
            break;
        }
        rc = writeAll(beside.fd, chunk.data(), static_cast<size_t>(got));
        at += static_cast<uint64_t>(got);
    }
    if (rc == kOk && replacing_ && ::fchmod(beside.fd, mode_) != 0)
        rc = kErrCannotWriteDest;
    if (rc == kOk && ::fsync(beside.fd) != 0)
        rc = writeErrorCode(errno);
    if (rc == kOk && moveIntoPlace(beside, destination_, replacing_) != 0)
        rc = kErrCannotWriteDest;
    if (rc == kOk)
        beside.path.clear(); // it is the destination now
    dropTemp(beside);
    return rc;
}

int AtomicOutput::commit() {
    if (fd_ < 0)
        return kErrCannotWriteDest;
    int rc = flush();
    if (rc == kOk && replacing_ && ::fchmod(fd_, mode_) != 0)
        rc = kErrCannotWriteDest;
    // An archive that replaces an earlier one reaches the disk before the move,
    // so a crash cannot leave an empty file where the old archive was.
    if (rc == kOk && replacing_ && ::fsync(fd_) != 0)
        rc = writeErrorCode(errno);
    // The replacement was made from the archive the caller read: another file
    // put there meanwhile (by another call or another program) is not
    // replaced. Another commit that replaces that archive waits for the lock
    // and then finds it gone (lockWithin).
    if (rc == kOk && replacing_) {
        struct stat now;
        if (!lockWithin(replacedFd_) || ::lstat(destination_.c_str(), &now) != 0 ||
            !sameFile(now, replaced_))
            rc = kErrCannotWriteDest;
    }
    if (rc == kOk) {
        const int err = moveIntoPlace(TempFile{fd_, tempPath_}, destination_, replacing_);
        if (err == EXDEV)
            rc = copyBeside();
        else if (err != 0)
            rc = kErrCannotWriteDest;
        else
            tempPath_.clear(); // it is the destination now
    }
    abort();
    return rc;
}

void AtomicOutput::abort() {
    TempFile temp{fd_, tempPath_};
    dropTemp(temp);
    fd_ = -1;
    if (replacedFd_ >= 0)
        ::close(replacedFd_); // releases the lock, after the rename
    replacedFd_ = -1;
    tempPath_.clear();
    tempFolder_.clear();
    buffer_.clear();
}

} // namespace arc

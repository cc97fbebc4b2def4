#include "atomic_output.h"

#include "results.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace arc {

namespace {

constexpr size_t kBufferSize = 1 << 20;

int writeAll(int fd, const unsigned char* data, size_t size) {
    while (size > 0) {
        ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return writeErrorCode(errno);
        }
        data += done;
        size -= static_cast<size_t>(done);
    }
    return kOk;
}

int pwriteAll(int fd, const unsigned char* data, size_t size, uint64_t offset) {
    while (size > 0) {
        ssize_t done = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return writeErrorCode(errno);
        }
        data += done;
        size -= static_cast<size_t>(done);
        offset += static_cast<uint64_t>(done);
    }
    return kOk;
}

std::string withSlash(const std::string& dir) {
    if (dir.empty() || dir.back() == '/')
        return dir;
    return dir + '/';
}

int makeTemp(const std::string& dir, const std::string& base, std::string& path) {
    std::string templ = withSlash(dir) + "." + base + ".XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    path.assign(name.data());
    return fd;
}

mode_t creationMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
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
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

AtomicOutput::~AtomicOutput() {
    abort();
}

int AtomicOutput::open(const std::string& destination, const std::string& workDir) {
    abort();
    destination_ = destination;
    written_ = 0;
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    const std::string dir = workDir.empty() ? folderOf(destination) : workDir;
    fd_ = makeTemp(dir, baseNameOf(destination), tempPath_);
    if (fd_ < 0) {
        tempPath_.clear();
        return kErrCannotWriteDest;
    }
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
    if (buffer_.size() + size > kBufferSize) {
        int rc = flush();
        if (rc != kOk)
            return rc;
        if (size >= kBufferSize) {
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
    return pwriteAll(fd_, bytes, size, offset);
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

int AtomicOutput::moveIntoPlace() {
    if (::rename(tempPath_.c_str(), destination_.c_str()) == 0)
        return kOk;
    if (errno != EXDEV)
        return kErrCannotWriteDest;
    // The work folder is on another file system: copy into a second temporary
    // file beside the destination, then rename that one.
    std::string beside;
    int out = makeTemp(folderOf(destination_), baseNameOf(destination_), beside);
    if (out < 0)
        return kErrCannotWriteDest;
    int in = ::open(tempPath_.c_str(), O_RDONLY | O_CLOEXEC);
    int rc = in < 0 ? kErrCannotWriteDest : kOk;
    std::vector<unsigned char> chunk(kBufferSize);
    while (rc == kOk) {
        ssize_t got = ::read(in, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            rc = kErrCannotWriteDest;
            break;
        }
        if (got == 0)
            break;
        rc = writeAll(out, chunk.data(), static_cast<size_t>(got));
    }
    if (in >= 0)
        ::close(in);
    if (rc == kOk && ::fchmod(out, creationMode()) != 0)
        rc = kErrCannotWriteDest;
    if (rc == kOk && ::fsync(out) != 0)
        rc = writeErrorCode(errno);
    if (::close(out) != 0 && rc == kOk)
        rc = writeErrorCode(errno);
    if (rc == kOk && ::rename(beside.c_str(), destination_.c_str()) != 0)
        rc = kErrCannotWriteDest;
    if (rc != kOk)
        ::unlink(beside.c_str());
    else
        ::unlink(tempPath_.c_str());
    return rc;
}

int AtomicOutput::commit() {
    if (fd_ < 0)
        return kErrCannotWriteDest;
    int rc = flush();
    if (rc == kOk && ::fchmod(fd_, creationMode()) != 0)
        rc = kErrCannotWriteDest;
    // An archive that replaces an earlier one reaches the disk before the rename,
    // so a crash cannot leave an empty file where the old archive was.
    struct stat st;
    if (rc == kOk && ::stat(destination_.c_str(), &st) == 0 && ::fsync(fd_) != 0)
        rc = writeErrorCode(errno);
    if (::close(fd_) != 0 && rc == kOk)
        rc = writeErrorCode(errno);
    fd_ = -1;
    if (rc == kOk)
        rc = moveIntoPlace();
    if (rc != kOk) {
        ::unlink(tempPath_.c_str());
    }
    tempPath_.clear();
    return rc;
}

void AtomicOutput::abort() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    buffer_.clear();
}

} // namespace arc

// Writing an archive so that it appears only when complete.
//
// The new archive is written to a temporary file in the work folder (or beside
// the destination when no work folder is given) and renamed over the destination
// by commit(). Until then any earlier archive stays byte-for-byte as it was; a
// destroyed or aborted AtomicOutput removes its temporary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace arc {

class AtomicOutput {
public:
    AtomicOutput() = default;
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Creates the temporary file for `destination`. `workDir` may be empty.
    // Returns kOk, or kErrCannotWriteDest when no temporary file can be made.
    int open(const std::string& destination, const std::string& workDir);

    // Appends bytes (buffered). Returns kOk, kErrDiskFull or kErrCannotWriteDest.
    int write(const void* data, size_t size);
    // Overwrites bytes already written at `offset` (for headers whose sizes are
    // known only after the data). Returns like write().
    int patch(uint64_t offset, const void* data, size_t size);
    // Drops everything written from `size` on, so the next write() goes there
    // (to redo a part, e.g. store data that did not compress). Returns like write().
    int truncate(uint64_t size);
    // Number of bytes written so far (the position of the next write()).
    uint64_t tell() const { return written_ + buffer_.size(); }

    // Flushes, syncs and renames the file over the destination. Returns like write().
    int commit();
    // Removes the temporary file; the destination is left untouched.
    void abort();

    // The path of the temporary file while one is open.
    const std::string& tempPath() const { return tempPath_; }

private:
    int flush();
    int moveIntoPlace();

    int fd_ = -1;
    std::string destination_;
    std::string tempPath_;
    std::vector<unsigned char> buffer_;
    uint64_t written_ = 0;
};

// Maps an errno from writing to the module result code for it.
int writeErrorCode(int err);

// The folder part of a path ("." when it has none).
std::string folderOf(const std::string& path);
// The last component of a path ("/" and "\" both count as separators).
std::string baseNameOf(const std::string& path);

} // namespace arc

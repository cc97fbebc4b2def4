// Writing an archive so that it appears only when complete.
//
// The new archive is written to a temporary file in the work folder (or beside
// the destination when no work folder is given) and moved over the destination
// by commit(). Until then any earlier archive stays byte-for-byte as it was; a
// destroyed or aborted AtomicOutput removes its temporary file.
//
// Where the file system allows it the temporary file has no name at all
// (O_TMPFILE): a process killed at any point leaves nothing behind. commit()
// links it in directly as the destination when there is none yet, or under a
// temporary name that is at once renamed over the destination. Elsewhere it is
// a hidden ".<name>.XXXXXX" file in the same folder.
//
// An update replaces only the archive it was made from: the caller hands
// open() the archive as it read it (or none, when there was none), and both
// open() and commit() fail when the destination is no longer that very file
// (another inode, size or modification time) or, for a new archive, when a
// file took its name meanwhile. So two updates of one archive at once, in two
// threads or two processes, never both succeed with one's files lost: the one
// that finds the archive replaced under it fails with kErrCannotWriteDest.
// Commits of the modules' updates hold an exclusive lock (flock) on the
// archive they replace from the check to the rename, so that no other such
// commit slips in between; a lock another program holds for more than two
// seconds fails the commit (kErrCannotWriteDest) instead of holding it up.
//
// An existing destination keeps its permission bits (rwx); a new one gets
// 0666 less the umask. An existing destination is refused (kErrCannotWriteDest,
// left as it is) when it is not a regular file (a symbolic link is not one),
// when its owner has no write permission on it (mode bits, so that this holds
// for root too), or when the calling user may not write it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace arc {

class AtomicOutput {
public:
    AtomicOutput() = default;
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Creates the temporary file for `destination`. `workDir` may be empty.
    // `readFrom` is the status of the destination as the caller read it (of
    // the descriptor it read it by), null when it found none. Returns kOk, or
    // kErrCannotWriteDest when the destination may not be replaced, is no
    // longer what the caller read, or no temporary file can be made.
    int open(const std::string& destination, const std::string& workDir,
             const struct stat* readFrom);

    // Appends bytes (buffered). Returns kOk, kErrDiskFull or kErrCannotWriteDest.
    int write(const void* data, size_t size);
    // Overwrites bytes already written at `offset` (for headers whose sizes are
    // known only after the data). Returns like write().
    int patch(uint64_t offset, const void* data, size_t size);
    // Discards everything from `size` on, so that a half-written record can be
    // taken back; later writes continue at `size`. Returns like write().
    int truncate(uint64_t size);
    // Number of bytes written so far (the position of the next write()).
    uint64_t tell() const { return written_ + buffer_.size(); }

    // Flushes, syncs and moves the file over the destination. Returns like write().
    int commit();
    // Removes the temporary file; the destination is left untouched.
    void abort();

    // The folder holding the temporary file while one is open.
    const std::string& tempFolder() const { return tempFolder_; }

private:
    int flush();
    int copyBeside();
    // A replacement is written privately and given the old archive's mode at
    // the end; a new archive is created with 0666, less the umask.
    mode_t tempMode() const { return replacing_ ? 0600 : 0666; }

    int fd_ = -1;
    int replacedFd_ = -1; // the archive to replace, held for the lock of commit()
    std::string destination_;
    std::string tempFolder_;
    std::string tempPath_; // empty while the temporary file has no name
    mode_t mode_ = 0;      // the replaced archive's permission bits
    bool replacing_ = false;
    struct stat replaced_ {}; // the destination the caller read, when replacing
    std::vector<unsigned char> buffer_;
    uint64_t written_ = 0;
};

// Temporary files that take their place only when complete, for archives and
// extracted files alike. A temporary file's `path` is empty while it has no
// name (O_TMPFILE).
struct TempFile {
    int fd = -1;
    std::string path;
};
// Makes a temporary file in `dir` with the permission bits `mode`, less the
// umask as the kernel applies it (so that no thread ever has to change the
// umask to learn it): a nameless file where the file system supports it and
// /proc can name it, else a hidden named one after `base`. False when
// neither can be made.
bool makeTemp(const std::string& dir, const std::string& base, mode_t mode, TempFile& temp);
// Closes a temporary file and removes its name, if it has one.
void dropTemp(TempFile& temp);
// Links a nameless temporary file in as `destination` when no file has that
// name. When one has and `replacing`, links it under a fresh hidden name
// beside it instead (set in temp.path), for the caller to rename over it.
// Returns 0 or an errno (EEXIST when a file has the name and not `replacing`).
int linkOrNameBeside(TempFile& temp, const std::string& destination, bool replacing);

// Maps an errno from writing to the module result code for it.
int writeErrorCode(int err);

// The folder part of a path ("." when it has none).
std::string folderOf(const std::string& path);
// The last component of a Linux path: everything after the last "/" (a
// backslash is an ordinary character of a Linux name).
std::string baseNameOf(const std::string& path);

} // namespace arc

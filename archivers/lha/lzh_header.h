// LZH member headers: reading levels 0 to 3, writing level 2.
//
// A level-2 header written here holds: the common extension (the header's own
// CRC-16), the file name extension (a bare name, no folder), the Unix permission
// extension (type 0x50: a regular file's mode, never setuid, setgid or sticky)
// and, for members of 4 GiB or more, the 64-bit size extension (type 0x42). The
// OS id says how the name is encoded (lzh_names.h). The modification time is the
// Unix time of the base header. The archive ends with a single zero byte.
#pragma once

#include "lzh_names.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace lha {

struct MemberHeader {
    std::string method; // five characters, e.g. "-lh5-"
    uint64_t packedSize = 0;
    uint64_t originalSize = 0;
    time_t mtime = 0; // a Unix time (level 2, or a Unix extension); see modified()
    // The MS-DOS time of a level-0 or level-1 header that holds no Unix time.
    std::optional<uint32_t> dosTime;
    uint16_t crc = 0;
    int level = 0;
    StoredName name;         // the OS id and every name field
    bool hasMode = false;    // a Unix permission was stored
    unsigned mode = 0;       // its permission bits (0777 at most)
    uint64_t offset = 0;     // where the header starts in the archive
    uint64_t dataOffset = 0; // where the member's data starts

    // The modification time: the Unix time, or the MS-DOS time in local time
    // (converted only when asked for: the conversion reads the time zone each
    // time, and an extraction that picks a few members of a large archive
    // needs only theirs).
    time_t modified() const;
};

// Random access to an archive file. Short reads are served from a window of
// the file read ahead, so that the headers and data of small members cost one
// system call per window, not several each; one thread reads at a time.
class ArchiveFile {
public:
    ArchiveFile() = default;
    ~ArchiveFile();
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    // Returns false when the file cannot be opened for reading.
    bool open(const std::string& path);
    uint64_t size() const { return size_; }
    // The status of the file open (of its descriptor), null before open().
    const struct stat* status() const { return fd_ >= 0 ? &status_ : nullptr; }
    // Reads exactly `size` bytes at `offset`; false on a short read or an error.
    bool readAt(uint64_t offset, void* data, size_t size) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    struct stat status_ {};
    mutable std::vector<uint8_t> window_; // the bytes from windowAt_ on
    mutable uint64_t windowAt_ = 0;
};

// Reads the header at `offset`. Returns kOk with `end` set at the end marker (or
// the end of the file), kOk with the header filled in, or kErrHeaderBroken,
// kErrHeaderCrc or kErrNotArchive (a header that is not an LZH header at all).
int readMemberHeader(const ArchiveFile& archive, uint64_t offset, MemberHeader& header, bool& end);

// Opens an archive and reads every header into `members`. Returns kOk,
// kErrArchiveOpen when it cannot be opened, kErrNotArchive for a file that
// begins with the end mark but holds more bytes, or the error of the first
// header that cannot be read (readMemberHeader), with the headers before it read.
int readArchive(const std::string& path, ArchiveFile& archive, std::vector<MemberHeader>& members);

// The member's whole stored path, folders included, as UTF-8.
inline std::string memberPath(const MemberHeader& h) {
    return decodeMemberPath(h.name);
}

// A level-2 header. `mode` gives the permission bits (only 0777 are kept).
// `largeSizes` adds the 64-bit size extension; without it the sizes must be
// below 4 GiB. The header's length does not depend on the sizes, times, mode or
// CRC, so a header can be written first and patched later.
std::vector<uint8_t> buildLevel2Header(std::string_view method, const StoredName& name,
                                       unsigned mode, uint64_t packedSize, uint64_t originalSize,
                                       time_t mtime, uint16_t crc, bool largeSizes);

// True when a member of this method and these sizes could be real: the sizes of
// stored data agree, and compressed data cannot claim more output than its
// blocks can code.
bool plausibleSizes(const MemberHeader& header);

} // namespace lha

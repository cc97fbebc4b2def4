// Reading a ZIP archive: the central directory (ZIP64 included), the local
// records it points to, and the data of each entry, inflated and checked.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace zip {

// One entry as the central directory describes it.
struct Entry {
    // The name as UTF-8. With the UTF-8 flag: the stored bytes when they are
    // UTF-8, else the bytes read as CP437. Without it: the Info-ZIP Unicode
    // path field when it belongs to the stored bytes; else, from a Unix host,
    // the bytes themselves when they are valid UTF-8; else the bytes read as
    // CP932 when they are valid CP932 (as Japanese Windows archivers write
    // them), and as CP437 otherwise.
    std::string name;
    std::string storedName; // the name bytes of the headers, written back unchanged
    uint16_t versionMadeBy = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t dosTime = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t size = 0;
    uint64_t localOffset = 0;
    uint16_t internalAttrs = 0;
    uint32_t externalAttrs = 0;
    std::string extra; // the central extra fields without the ZIP64 field
    std::string comment;
    time_t mtime = -1; // from the extended timestamp or the NTFS times; -1 without either

    // The modification time: `mtime`, else the DOS time (converted only when
    // asked for: the conversion reads the time zone each time, and a reader
    // that extracts a few members of a large archive needs only theirs), or -1.
    time_t modified() const;

    bool isDirectory() const;
    // A folder, nothing to extract: one by its name (a final "/"), or one
    // marked by its attributes alone that holds no data (one that declares
    // data is a file, as callers that go by its name take it).
    bool isFolderEntry() const;
    bool isSymlink() const;
    // Whether "\\" separates folders in the name, as on every host but Unix
    // and macOS, whose names may hold backslashes.
    bool backslashSeparates() const;
    // The permission bits (rwx) a Unix host stored, or -1 when it stored none.
    int unixMode() const;
};

class Reader {
public:
    Reader() = default;
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Opens an archive and reads its central directory. Returns kOk,
    // kErrArchiveOpen, kErrNotArchive, kErrHeaderBroken or kErrNoMemory.
    int open(const std::string& path);

    // The status of the archive open (of its descriptor), null before open().
    const struct stat* status() const { return fd_ >= 0 ? &status_ : nullptr; }
    const std::vector<Entry>& entries() const { return entries_; }
    const std::string& comment() const { return comment_; }
    // The bytes before the first member's record (before the directory when
    // there is none): 0 but for an archive that follows something else, such
    // as the program of a self-extracting archive.
    uint64_t leadingBytes() const { return leading_; }

    // Finds the local record of an entry: where its data starts and where the
    // whole record (local header, data, any data descriptor) ends.
    // Returns kOk or kErrHeaderBroken.
    int locate(const Entry& entry, uint64_t& dataStart, uint64_t& recordEnd) const;

    // Reads raw bytes of the archive; false when they are not all there.
    bool readAt(uint64_t offset, void* data, size_t size) const;

    // Whether an entry's data can be extracted, checked before anything is
    // written for it: kOk, kErrMethod (a method or encryption this reader
    // lacks), kErrHeaderBroken (no local record holding the data) or
    // kErrBadData (a size the data cannot give: stored data of another size,
    // or more than deflate can make of it). Sets `dataStart` to where its
    // data starts when it can.
    int readable(const Entry& entry, uint64_t& dataStart) const;

    // Inflates (or copies) an entry's data into `sink` in pieces and checks its
    // size and CRC. `sink` returns kOk to go on, anything else to stop with
    // that code. Returns kOk, kErrMethod, kErrBadData, kErrFileCrc,
    // kErrHeaderBroken, kErrNoMemory or the sink's code.
    int extract(const Entry& entry, const std::function<int(const void*, size_t)>& sink) const;
    // extract() of an entry readable() has passed, its data at `dataStart`.
    int extractFrom(const Entry& entry, uint64_t dataStart,
                    const std::function<int(const void*, size_t)>& sink) const;

private:
    int readDirectory(uint64_t offset, uint64_t size, uint64_t count);

    int fd_ = -1;
    struct stat status_ {};
    uint64_t fileSize_ = 0;
    std::vector<Entry> entries_;
    std::string comment_;
    uint64_t leading_ = 0;
};

} // namespace zip

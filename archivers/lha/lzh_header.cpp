#include "lzh_header.h"

#include "crc16.h"
#include "files.h"
#include "lzh_methods.h"
#include "results.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lha {

namespace {

constexpr uint8_t kExtCommon = 0x00;
constexpr uint8_t kExtName = 0x01;
constexpr uint8_t kExtFolder = 0x02;
constexpr uint8_t kExtLargeSizes = 0x42;
constexpr uint8_t kExtUtf16Name = 0x44;
constexpr uint8_t kExtUtf16Folder = 0x45;
constexpr uint8_t kExtCodePage = 0x46;
constexpr uint8_t kExtUnixMode = 0x50;
constexpr uint8_t kExtUnixTime = 0x54;
constexpr unsigned kRegularFile = 0100000;

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t get64(const uint8_t* p) {
    return static_cast<uint64_t>(get32(p)) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}
void put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = static_cast<uint8_t>(x);
    v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void put32(std::vector<uint8_t>& v, size_t at, uint64_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(x >> (8 * i));
}

time_t fromDosTime(uint32_t t) {
    struct tm tm = {};
    tm.tm_sec = static_cast<int>((t & 0x1F) * 2);
    tm.tm_min = static_cast<int>((t >> 5) & 0x3F);
    tm.tm_hour = static_cast<int>((t >> 11) & 0x1F);
    tm.tm_mday = static_cast<int>((t >> 16) & 0x1F);
    tm.tm_mon = static_cast<int>(((t >> 21) & 0x0F)) - 1;
    tm.tm_year = static_cast<int>((t >> 25) & 0x7F) + 80;
    tm.tm_isdst = -1;
    time_t r = ::mktime(&tm);
    return r == static_cast<time_t>(-1) ? 0 : r;
}

// Walks extension headers in buf[at..limit): each is a type byte, its data and
// the size of the next one, in `sizeBytes` bytes (two in levels 1 and 2, four
// in level 3). Returns false when one runs past the limit.
template <class F>
bool walkExtensions(const uint8_t* buf, size_t at, size_t limit, size_t firstSize, size_t sizeBytes,
                    F onExt) {
    size_t size = firstSize;
    while (size != 0) {
        if (size < 1 + sizeBytes || size > limit - at)
            return false;
        onExt(buf[at], buf + at + 1, size - 1 - sizeBytes, at);
        const uint8_t* nextField = buf + at + size - sizeBytes;
        const size_t next = sizeBytes == 2 ? get16(nextField) : get32(nextField);
        at += size;
        size = next;
    }
    return true;
}

// Takes what an extension of a level-1 or level-2 header says into the header.
void takeExtension(uint8_t type, const uint8_t* data, size_t len, MemberHeader& h) {
    const std::string bytes(reinterpret_cast<const char*>(data), len);
    if (type == kExtName)
        h.name.bytes = bytes;
    else if (type == kExtFolder)
        h.name.folder = bytes;
    else if (type == kExtUtf16Name)
        h.name.utf16Name = bytes;
    else if (type == kExtUtf16Folder)
        h.name.utf16Folder = bytes;
    else if (type == kExtCodePage && len >= 4)
        h.name.codePage = get32(data);
    else if (type == kExtUnixMode && len >= 2) {
        h.hasMode = true;
        h.mode = get16(data) & 0777u;
    } else if (type == kExtUnixTime && len >= 4) {
        h.mtime = static_cast<time_t>(get32(data));
        h.dosTime.reset();
    } else if (type == kExtLargeSizes && len >= 16) {
        h.packedSize = get64(data);
        h.originalSize = get64(data + 8);
    }
}

// The extensions this module writes: a level-2 header with no other is one
// of its own (lzh_names.h reads its 'U' names as UTF-8).
bool isOwnExtension(uint8_t type) {
    return type == kExtCommon || type == kExtName || type == kExtLargeSizes ||
           type == kExtUtf16Name || type == kExtCodePage || type == kExtUnixMode ||
           type == kExtUnixTime;
}

int readOldLevel(const ArchiveFile& archive, uint64_t offset, const uint8_t* first,
                 MemberHeader& h) {
    const size_t baseSize = static_cast<size_t>(first[0]) + 2;
    std::vector<uint8_t> base(baseSize);
    if (baseSize < 24 || !archive.readAt(offset, base.data(), baseSize))
        return arc::kErrHeaderBroken;
    unsigned sum = 0;
    for (size_t i = 2; i < baseSize; ++i)
        sum += base[i];
    if ((sum & 0xFF) != base[1])
        return arc::kErrHeaderCrc;
    const size_t nameLen = base[21];
    if (22 + nameLen + 2 > baseSize)
        return arc::kErrHeaderBroken;
    h.name.level = h.level;
    h.name.ownLayout = false;
    h.name.bytes.assign(reinterpret_cast<const char*>(base.data()) + 22, nameLen);
    h.crc = get16(base.data() + 22 + nameLen);
    h.packedSize = get32(base.data() + 7);
    h.originalSize = get32(base.data() + 11);
    h.dosTime = get32(base.data() + 15);
    h.dataOffset = offset + baseSize;
    // After the CRC: the OS id, if any; level 0 may carry a Unix extension area
    // there (OS id, version, Unix time, mode, uid, gid).
    const size_t extra = baseSize - (22 + nameLen + 2);
    if (extra >= 1)
        h.name.osId = base[24 + nameLen];
    if (h.level == 0) {
        if (h.name.osId == kOsUnix && extra >= 8) {
            h.mtime = static_cast<time_t>(get32(base.data() + 26 + nameLen));
            h.dosTime.reset();
            h.hasMode = true;
            h.mode = get16(base.data() + 30 + nameLen) & 0777u;
        }
        return arc::kOk;
    }

    // Level 1: extension headers follow the base header and count in the packed size.
    if (extra < 3)
        return arc::kErrHeaderBroken;
    size_t extSize = get16(base.data() + baseSize - 2);
    uint64_t at = h.dataOffset;
    uint64_t extTotal = 0;
    while (extSize != 0) {
        if (extSize < 3 || at + extSize > archive.size())
            return arc::kErrHeaderBroken;
        std::vector<uint8_t> ext(extSize);
        if (!archive.readAt(at, ext.data(), extSize))
            return arc::kErrHeaderBroken;
        takeExtension(ext[0], ext.data() + 1, extSize - 3, h);
        at += extSize;
        extTotal += extSize;
        extSize = get16(ext.data() + extSize - 2);
    }
    if (extTotal > h.packedSize)
        return arc::kErrHeaderBroken;
    h.packedSize -= extTotal;
    h.dataOffset = at;
    return arc::kOk;
}

// Levels 2 and 3: one header holding the base fields and the extensions, its
// whole size in the first two bytes (level 2) or, after a first word that
// gives the size fields' width (4), in four bytes at 24 (level 3).
int readWholeHeader(const ArchiveFile& archive, uint64_t offset, MemberHeader& h) {
    const bool wide = h.level == 3;
    const size_t base = wide ? 32 : 26;
    uint8_t fields[32];
    if (!archive.readAt(offset, fields, base))
        return arc::kErrHeaderBroken;
    if (wide && get16(fields) != 4)
        return arc::kErrHeaderBroken;
    const uint64_t total = wide ? get32(fields + 24) : get16(fields);
    // The size is checked against what the archive holds before a buffer of
    // that size is taken.
    if (total < base || total > archive.size() - offset)
        return arc::kErrHeaderBroken;
    std::vector<uint8_t> buf(static_cast<size_t>(total));
    if (!archive.readAt(offset, buf.data(), buf.size()))
        return arc::kErrHeaderBroken;
    h.packedSize = get32(buf.data() + 7);
    h.originalSize = get32(buf.data() + 11);
    h.mtime = static_cast<time_t>(get32(buf.data() + 15));
    h.crc = get16(buf.data() + 21);
    h.name.osId = buf[23];
    h.dataOffset = offset + total;
    // Names of level 3 are read as another tool's, never as this module's own.
    h.name.ownLayout = !wide;
    long crcAt = -1;
    const size_t firstSize = wide ? get32(buf.data() + 28) : get16(buf.data() + 24);
    bool ok = walkExtensions(buf.data(), base, buf.size(), firstSize, wide ? 4 : 2,
                             [&](uint8_t type, const uint8_t* data, size_t len, size_t at) {
                                 h.name.ownLayout = h.name.ownLayout && isOwnExtension(type);
                                 if (type == kExtCommon && len >= 2)
                                     crcAt = static_cast<long>(at + 1);
                                 else
                                     takeExtension(type, data, len, h);
                             });
    if (!ok)
        return arc::kErrHeaderBroken;
    if (crcAt >= 0) {
        const size_t at = static_cast<size_t>(crcAt);
        uint16_t stored = get16(buf.data() + at);
        buf[at] = buf[at + 1] = 0;
        if (arc::crc16Update(0, buf.data(), buf.size()) != stored)
            return arc::kErrHeaderCrc;
    }
    return arc::kOk;
}

} // namespace

time_t MemberHeader::modified() const {
    return dosTime ? fromDosTime(*dosTime) : mtime;
}

ArchiveFile::~ArchiveFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool ArchiveFile::open(const std::string& path) {
    // A FIFO or a device where the archive should be is refused, never waited on.
    struct stat st;
    fd_ = arc::openWithoutWaiting(path, st);
    if (fd_ < 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    status_ = st;
    return true;
}

bool ArchiveFile::readAt(uint64_t offset, void* data, size_t size) const {
    constexpr size_t kWindow = 1 << 16;
    if (size > kWindow / 2)
        return arc::readExactlyAt(fd_, size_, offset, data, size);
    if (offset < windowAt_ || offset - windowAt_ + size > window_.size()) {
        if (offset > size_ || size > size_ - offset)
            return false;
        window_.resize(static_cast<size_t>(std::min<uint64_t>(kWindow, size_ - offset)));
        windowAt_ = offset;
        if (!arc::readExactlyAt(fd_, size_, offset, window_.data(), window_.size())) {
            window_.clear();
            return false;
        }
    }
    std::memcpy(data, window_.data() + (offset - windowAt_), size);
    return true;
}

int readMemberHeader(const ArchiveFile& archive, uint64_t offset, MemberHeader& h, bool& end) {
    end = false;
    h = MemberHeader{};
    h.offset = offset;
    uint8_t first[22];
    if (offset >= archive.size() || !archive.readAt(offset, first, 1)) {
        end = true;
        return arc::kOk;
    }
    // A zero byte is the end mark, unless it is the low byte of the size of a
    // level-2 header 256 bytes long (or a multiple), which other tools may
    // write and lhasa and 7z read.
    const bool whole = archive.readAt(offset, first, sizeof first);
    if (first[0] == 0 &&
        !(whole && first[20] == 2 && looksLikeMethodId(reinterpret_cast<const char*>(first) + 2))) {
        end = true;
        return arc::kOk;
    }
    if (!whole)
        return arc::kErrHeaderBroken;
    if (!looksLikeMethodId(reinterpret_cast<const char*>(first) + 2))
        return arc::kErrNotArchive;
    h.method.assign(reinterpret_cast<const char*>(first) + 2, 5);
    h.level = first[20];
    int rc;
    if (h.level == 0 || h.level == 1)
        rc = readOldLevel(archive, offset, first, h);
    else if (h.level == 2 || h.level == 3)
        rc = readWholeHeader(archive, offset, h);
    else
        rc = arc::kErrHeaderBroken;
    if (rc != arc::kOk)
        return rc;
    if (h.dataOffset > archive.size() || h.packedSize > archive.size() - h.dataOffset)
        return arc::kErrHeaderBroken;
    return arc::kOk;
}

int readArchive(const std::string& path, ArchiveFile& archive, std::vector<MemberHeader>& members) {
    if (!archive.open(path))
        return arc::kErrArchiveOpen;
    for (uint64_t offset = 0;;) {
        MemberHeader h;
        bool end = false;
        const int rc = readMemberHeader(archive, offset, h, end);
        // An empty archive is no bytes or the end mark alone: a file that
        // begins with a zero byte and goes on is something else, which an
        // update must not replace.
        if (rc == arc::kOk && end && offset == 0 && archive.size() > 1)
            return arc::kErrNotArchive;
        if (rc != arc::kOk || end)
            return rc;
        offset = h.dataOffset + h.packedSize;
        members.push_back(std::move(h));
    }
}

std::vector<uint8_t> buildLevel2Header(std::string_view method, const StoredName& name,
                                       unsigned mode, uint64_t packedSize, uint64_t originalSize,
                                       time_t mtime, uint16_t crc, bool largeSizes) {
    auto le = [](uint64_t x, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i)
            s += static_cast<char>(x >> (8 * i));
        return s;
    };
    // The extensions in the order written: a reader that takes the last of the
    // name fields, or of the code page and the UTF-16 name, takes the UTF-16 name.
    std::vector<std::pair<uint8_t, std::string>> exts = {{kExtCommon, le(0, 2)}};
    if (name.codePage != 0)
        exts.emplace_back(kExtCodePage, le(name.codePage, 4));
    exts.emplace_back(kExtName, name.bytes);
    if (name.utf16Name)
        exts.emplace_back(kExtUtf16Name, *name.utf16Name);
    exts.emplace_back(kExtUnixMode, le(kRegularFile | (mode & 0777u), 2));
    if (largeSizes)
        exts.emplace_back(kExtLargeSizes, le(packedSize, 8) + le(originalSize, 8));
    size_t total = 26;
    for (const auto& ext : exts)
        total += 3 + ext.second.size();
    // A header whose length is a multiple of 256 would start with a zero byte,
    // which readers take for the end of the archive: the Unix time extension
    // (7 bytes) moves it off that length.
    if ((total & 0xFF) == 0) {
        exts.emplace_back(kExtUnixTime, le(static_cast<uint64_t>(mtime), 4));
        total += 7;
    }
    std::vector<uint8_t> h(26, 0);
    put16(h, 0, static_cast<uint32_t>(total));
    for (size_t i = 0; i < 5; ++i)
        h[2 + i] = static_cast<uint8_t>(method[i]);
    put32(h, 7, packedSize & 0xFFFFFFFFu);
    put32(h, 11, originalSize & 0xFFFFFFFFu);
    put32(h, 15, static_cast<uint64_t>(mtime) & 0xFFFFFFFFu);
    h[19] = 0x20;
    h[20] = 2;
    put16(h, 21, crc);
    h[23] = name.osId;
    put16(h, 24, static_cast<uint32_t>(3 + exts[0].second.size()));
    for (size_t i = 0; i < exts.size(); ++i) {
        h.push_back(exts[i].first);
        h.insert(h.end(), exts[i].second.begin(), exts[i].second.end());
        const size_t next = i + 1 < exts.size() ? 3 + exts[i + 1].second.size() : 0;
        h.push_back(static_cast<uint8_t>(next));
        h.push_back(static_cast<uint8_t>(next >> 8));
    }
    // The common extension comes first: its CRC field is at 27.
    put16(h, 27, arc::crc16Update(0, h.data(), h.size()));
    return h;
}

bool plausibleSizes(const MemberHeader& header) {
    if (header.method == kStored.id)
        return header.packedSize == header.originalSize;
    // The smallest block (size field and three single-value tables) takes 52
    // bits and yields at most 65535 matches of 256 bytes.
    const uint64_t blocks = header.packedSize * 8 / 52 + 1;
    const uint64_t perBlock = 65535ull * 256;
    return header.originalSize / perBlock <= blocks;
}

} // namespace lha

#include "lzh_header.h"

#include "crc16.h"
#include "files.h"
#include "results.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lha {

namespace {

constexpr uint8_t kExtCommon = 0x00;
constexpr uint8_t kExtName = 0x01;
constexpr uint8_t kExtFolder = 0x02;
constexpr uint8_t kExtLargeSizes = 0x42;
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

bool looksLikeMethod(const uint8_t* m) {
    return m[0] == '-' && m[4] == '-';
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
// the two-byte size of the next one. Returns false when one runs past the limit.
template <class F>
bool walkExtensions(const uint8_t* buf, size_t at, size_t limit, size_t firstSize, F onExt) {
    size_t size = firstSize;
    while (size != 0) {
        if (size < 3 || at + size > limit)
            return false;
        onExt(buf[at], buf + at + 1, size - 3, at);
        size_t next = get16(buf + at + size - 2);
        at += size;
        size = next;
    }
    return true;
}

// The folder extension's bytes end with 0xFF, or get one before the name.
std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '\xff')
        return dir + name;
    return dir + '\xff' + name;
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
    std::string name(reinterpret_cast<const char*>(base.data()) + 22, nameLen);
    h.crc = get16(base.data() + 22 + nameLen);
    h.packedSize = get32(base.data() + 7);
    h.originalSize = get32(base.data() + 11);
    h.mtime = fromDosTime(get32(base.data() + 15));
    h.dataOffset = offset + baseSize;
    // After the CRC: the OS id, if any; level 0 may carry a Unix extension area
    // there (OS id, version, Unix time, mode, uid, gid).
    const size_t extra = baseSize - (22 + nameLen + 2);
    if (extra >= 1)
        h.osId = base[24 + nameLen];
    if (h.level == 0) {
        // "\" is the folder separator of level 0 whatever the OS: under 'U',
        // where it would read as part of a name, it becomes 0xFF (the bytes of
        // such names are EUC-JP or UTF-8, where 0x5C is never half a character).
        if (h.osId == kOsUnix)
            std::replace(name.begin(), name.end(), '\\', '\xff');
        h.storedPath = std::move(name);
        if (h.osId == kOsUnix && extra >= 8) {
            h.mtime = static_cast<time_t>(get32(base.data() + 26 + nameLen));
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
    std::string dir;
    while (extSize != 0) {
        if (extSize < 3 || at + extSize > archive.size())
            return arc::kErrHeaderBroken;
        std::vector<uint8_t> ext(extSize);
        if (!archive.readAt(at, ext.data(), extSize))
            return arc::kErrHeaderBroken;
        const uint8_t* data = ext.data() + 1;
        const size_t len = extSize - 3;
        if (ext[0] == kExtName)
            name.assign(reinterpret_cast<const char*>(data), len);
        else if (ext[0] == kExtFolder)
            dir.assign(reinterpret_cast<const char*>(data), len);
        else if (ext[0] == kExtUnixMode && len >= 2) {
            h.hasMode = true;
            h.mode = get16(data) & 0777u;
        } else if (ext[0] == kExtUnixTime && len >= 4)
            h.mtime = static_cast<time_t>(get32(data));
        else if (ext[0] == kExtLargeSizes && len >= 16) {
            h.packedSize = get64(data);
            h.originalSize = get64(data + 8);
        }
        at += extSize;
        extTotal += extSize;
        extSize = get16(ext.data() + extSize - 2);
    }
    if (extTotal > h.packedSize)
        return arc::kErrHeaderBroken;
    h.packedSize -= extTotal;
    h.dataOffset = at;
    h.storedPath = joinPath(dir, name);
    return arc::kOk;
}

int readLevel2(const ArchiveFile& archive, uint64_t offset, MemberHeader& h) {
    uint8_t sizeField[2];
    if (!archive.readAt(offset, sizeField, 2))
        return arc::kErrHeaderBroken;
    const size_t total = get16(sizeField);
    if (total < 26)
        return arc::kErrHeaderBroken;
    std::vector<uint8_t> buf(total);
    if (!archive.readAt(offset, buf.data(), total))
        return arc::kErrHeaderBroken;
    h.packedSize = get32(buf.data() + 7);
    h.originalSize = get32(buf.data() + 11);
    h.mtime = static_cast<time_t>(get32(buf.data() + 15));
    h.crc = get16(buf.data() + 21);
    h.osId = buf[23];
    h.dataOffset = offset + total;
    long crcAt = -1;
    std::string dir;
    std::string name;
    bool ok = walkExtensions(buf.data(), 26, total, get16(buf.data() + 24),
                             [&](uint8_t type, const uint8_t* data, size_t len, size_t at) {
                                 if (type == kExtCommon && len >= 2)
                                     crcAt = static_cast<long>(at + 1);
                                 else if (type == kExtName)
                                     name.assign(reinterpret_cast<const char*>(data), len);
                                 else if (type == kExtFolder)
                                     dir.assign(reinterpret_cast<const char*>(data), len);
                                 else if (type == kExtUnixMode && len >= 2) {
                                     h.hasMode = true;
                                     h.mode = get16(data) & 0777u;
                                 } else if (type == kExtLargeSizes && len >= 16) {
                                     h.packedSize = get64(data);
                                     h.originalSize = get64(data + 8);
                                 }
                             });
    if (!ok)
        return arc::kErrHeaderBroken;
    h.storedPath = joinPath(dir, name);
    if (crcAt >= 0) {
        const size_t at = static_cast<size_t>(crcAt);
        uint16_t stored = get16(buf.data() + at);
        buf[at] = buf[at + 1] = 0;
        if (arc::crc16Update(0, buf.data(), total) != stored)
            return arc::kErrHeaderCrc;
    }
    return arc::kOk;
}

} // namespace

ArchiveFile::~ArchiveFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool ArchiveFile::open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
}

bool ArchiveFile::readAt(uint64_t offset, void* data, size_t size) const {
    return arc::readExactlyAt(fd_, size_, offset, data, size);
}

int readMemberHeader(const ArchiveFile& archive, uint64_t offset, MemberHeader& h, bool& end) {
    end = false;
    h = MemberHeader{};
    h.offset = offset;
    uint8_t first[22];
    if (offset >= archive.size() || !archive.readAt(offset, first, 1) || first[0] == 0) {
        end = true;
        return arc::kOk;
    }
    if (!archive.readAt(offset, first, sizeof first))
        return arc::kErrHeaderBroken;
    if (!looksLikeMethod(first + 2))
        return arc::kErrNotArchive;
    h.method.assign(reinterpret_cast<const char*>(first) + 2, 5);
    h.level = first[20];
    int rc;
    if (h.level == 0 || h.level == 1)
        rc = readOldLevel(archive, offset, first, h);
    else if (h.level == 2)
        rc = readLevel2(archive, offset, h);
    else
        rc = arc::kErrHeaderBroken;
    if (rc != arc::kOk)
        return rc;
    if (h.dataOffset > archive.size() || h.packedSize > archive.size() - h.dataOffset)
        return arc::kErrHeaderBroken;
    return arc::kOk;
}

std::vector<uint8_t> buildLevel2Header(const std::string& method, const StoredName& name,
                                       unsigned mode, uint64_t packedSize, uint64_t originalSize,
                                       time_t mtime, uint16_t crc, bool largeSizes) {
    const std::string& nameBytes = name.bytes;
    const size_t commonSize = 1 + 2 + 2;
    const size_t nameSize = 1 + nameBytes.size() + 2;
    const size_t modeSize = 1 + 2 + 2;
    const size_t largeSize = largeSizes ? 1 + 16 + 2 : 0;
    size_t total = 26 + commonSize + nameSize + modeSize + largeSize;
    // A header whose length is a multiple of 256 would start with a zero byte,
    // which readers take for the end of the archive: one padding byte avoids it.
    const bool pad = (total & 0xFF) == 0;
    if (pad)
        ++total;
    std::vector<uint8_t> h(total, 0);
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
    put16(h, 24, static_cast<uint32_t>(commonSize));
    size_t at = 26;
    h[at] = kExtCommon;
    const size_t crcAt = at + 1;
    put16(h, at + 3, static_cast<uint32_t>(nameSize));
    at += commonSize;
    h[at] = kExtName;
    for (size_t i = 0; i < nameBytes.size(); ++i)
        h[at + 1 + i] = static_cast<uint8_t>(nameBytes[i]);
    put16(h, at + 1 + nameBytes.size(), static_cast<uint32_t>(modeSize));
    at += nameSize;
    h[at] = kExtUnixMode;
    put16(h, at + 1, kRegularFile | (mode & 0777u));
    put16(h, at + 3, static_cast<uint32_t>(largeSize));
    at += modeSize;
    if (largeSizes) {
        h[at] = kExtLargeSizes;
        for (int i = 0; i < 8; ++i) {
            h[at + 1 + static_cast<size_t>(i)] = static_cast<uint8_t>(packedSize >> (8 * i));
            h[at + 9 + static_cast<size_t>(i)] = static_cast<uint8_t>(originalSize >> (8 * i));
        }
        put16(h, at + 17, 0);
    }
    put16(h, crcAt, arc::crc16Update(0, h.data(), h.size()));
    return h;
}

bool plausibleSizes(const MemberHeader& header) {
    if (header.method == "-lh0-")
        return header.packedSize == header.originalSize;
    // The smallest block (size field and three single-value tables) takes 52
    // bits and yields at most 65535 matches of 256 bytes.
    const uint64_t blocks = header.packedSize * 8 / 52 + 1;
    const uint64_t perBlock = 65535ull * 256;
    return header.originalSize / perBlock <= blocks;
}

} // namespace lha

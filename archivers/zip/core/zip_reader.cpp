#include "zip_reader.h"

#include "cp932.h"
#include "files.h"
#include "results.h"
#include "zip_format.h"

#include <algorithm>
#include <libdeflate.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace zip {

namespace {

constexpr size_t kChunk = 256 * 1024;
constexpr uint32_t kTypeMask = 0170000;
constexpr uint32_t kTypeLink = 0120000;
constexpr uint32_t kTypeDir = 0040000;

// Reads the fields of an extra block that this reader uses, and returns the
// block without its ZIP64 field (the writer makes a new one when it copies).
std::string parseExtra(const unsigned char* p, size_t size, Entry& e, bool& zip64Ok) {
    std::string kept;
    zip64Ok = true;
    size_t i = 0;
    while (i + 4 <= size) {
        const uint16_t tag = get16(p + i);
        const uint16_t len = get16(p + i + 2);
        if (i + 4 + len > size)
            break;
        const unsigned char* d = p + i + 4;
        if (tag == kExtraZip64) {
            // Only the fields whose header value is the marker are present, in this order.
            size_t at = 0;
            auto take = [&](uint64_t& field) {
                if (field != kMarker32)
                    return;
                if (at + 8 > len) {
                    zip64Ok = false;
                    return;
                }
                field = get64(d + at);
                at += 8;
            };
            take(e.size);
            take(e.compressedSize);
            take(e.localOffset);
        } else {
            if (tag == kExtraTimestamp && len >= 5 && (d[0] & 1))
                e.mtime = static_cast<time_t>(get32(d + 1));
            // NTFS times: 4 reserved bytes, then attribute 1 (size 24) holds
            // the modification time first, in 100 ns units from 1601.
            if (tag == kExtraNtfs && len >= 32 && get16(d + 4) == 1 && get16(d + 6) >= 24 &&
                e.mtime < 0) {
                const uint64_t ticks = get64(d + 8);
                constexpr uint64_t kEpochTicks = 116444736000000000ull;
                if (ticks >= kEpochTicks)
                    e.mtime = static_cast<time_t>((ticks - kEpochTicks) / 10000000);
            }
            kept.append(reinterpret_cast<const char*>(p + i), 4 + len);
        }
        i += 4 + len;
    }
    // Trailing bytes too short to be a field are kept as they were.
    kept.append(reinterpret_cast<const char*>(p + i), size - i);
    return kept;
}

// The Info-ZIP Unicode path field names the entry when it belongs to the
// name the header holds (its CRC matches that name).
bool applyUnicodePath(const std::string& extra, Entry& e) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
    size_t i = 0;
    while (i + 4 <= extra.size()) {
        const uint16_t tag = get16(p + i);
        const uint16_t len = get16(p + i + 2);
        if (i + 4 + len > extra.size())
            return false;
        if (tag == kExtraUnicodePath && len > 5 && p[i + 4] == 1 &&
            get32(p + i + 5) == crc32(0, e.storedName.data(), e.storedName.size())) {
            std::string unicode(reinterpret_cast<const char*>(p + i + 9), len - 5);
            if (!isUtf8(unicode))
                return false;
            e.name = unicode;
            return true;
        }
        i += 4 + len;
    }
    return false;
}

// The UTF-8 name of an entry; see Entry::name.
std::string decodeName(const Entry& e) {
    // Unix tools store the bytes of the file's name, UTF-8 on today's systems.
    const bool utf8Flag = (e.flags & kFlagUtf8) != 0;
    if ((utf8Flag || !e.backslashSeparates()) && isUtf8(e.storedName))
        return e.storedName;
    std::string utf8;
    if (!utf8Flag && arc::cp932ToUtf8(e.storedName, utf8))
        return utf8;
    return cp437ToUtf8(e.storedName);
}

} // namespace

bool Entry::isDirectory() const {
    const bool unixDir =
        (versionMadeBy >> 8) == kHostUnix && ((externalAttrs >> 16) & kTypeMask) == kTypeDir;
    return unixDir || (externalAttrs & 0x10) || (!name.empty() && name.back() == '/');
}

time_t Entry::modified() const {
    return mtime >= 0 ? mtime : fromDosTime(dosTime);
}

bool Entry::isFolderEntry() const {
    return (!name.empty() && name.back() == '/') || (isDirectory() && size == 0);
}

bool Entry::backslashSeparates() const {
    const int host = versionMadeBy >> 8;
    return host != kHostUnix && host != kHostMacOs;
}

int Entry::unixMode() const {
    if ((versionMadeBy >> 8) != kHostUnix || (externalAttrs >> 16) == 0)
        return -1;
    return static_cast<int>((externalAttrs >> 16) & 0777);
}

bool Entry::isSymlink() const {
    return (versionMadeBy >> 8) == kHostUnix && ((externalAttrs >> 16) & kTypeMask) == kTypeLink;
}

Reader::~Reader() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool Reader::readAt(uint64_t offset, void* data, size_t size) const {
    return arc::readExactlyAt(fd_, fileSize_, offset, data, size);
}

int Reader::open(const std::string& path) {
    // A FIFO or a device where the archive should be is refused, never waited on.
    fd_ = arc::openWithoutWaiting(path, status_);
    if (fd_ < 0)
        return arc::kErrArchiveOpen;
    if (!S_ISREG(status_.st_mode))
        return arc::kErrNotArchive;
    fileSize_ = static_cast<uint64_t>(status_.st_size);
    if (fileSize_ < kEndSize)
        return arc::kErrNotArchive;

    // The end record is in the last 64 KiB + 22 bytes (its comment is at most 65535 bytes).
    const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize_, kEndSize + 0xffff));
    const uint64_t tailStart = fileSize_ - tailSize;
    std::string tail(tailSize, '\0');
    if (!readAt(tailStart, tail.data(), tailSize))
        return arc::kErrCannotRead;
    const auto* t = reinterpret_cast<const unsigned char*>(tail.data());
    size_t endAt = std::string::npos;
    for (size_t i = tailSize - kEndSize + 1; i-- > 0;) {
        if (get32(t + i) == kEndSig && i + kEndSize + get16(t + i + 20) <= tailSize) {
            endAt = i;
            break;
        }
    }
    if (endAt == std::string::npos)
        return arc::kErrNotArchive;
    const unsigned char* end = t + endAt;
    const uint64_t endPos = tailStart + endAt;
    uint64_t count = get16(end + 10);
    uint64_t cdSize = get32(end + 12);
    uint64_t cdOffset = get32(end + 16);
    comment_.assign(reinterpret_cast<const char*>(end + 22), get16(end + 20));
    if (get16(end + 4) != 0 || get16(end + 6) != 0)
        return arc::kErrHeaderBroken; // archives split over several disks are not read

    unsigned char loc[kZip64LocatorSize];
    if (endPos >= kZip64LocatorSize && readAt(endPos - kZip64LocatorSize, loc, sizeof loc) &&
        get32(loc) == kZip64LocatorSig) {
        unsigned char rec[kZip64EndSize];
        const uint64_t at = get64(loc + 8);
        if (!readAt(at, rec, sizeof rec) || get32(rec) != kZip64EndSig)
            return arc::kErrHeaderBroken;
        count = get64(rec + 32);
        cdSize = get64(rec + 40);
        cdOffset = get64(rec + 48);
        if (at < cdOffset || at - cdOffset < cdSize)
            return arc::kErrHeaderBroken;
    } else if (cdOffset > endPos || cdSize > endPos - cdOffset) {
        return arc::kErrHeaderBroken;
    }
    return readDirectory(cdOffset, cdSize, count);
}

int Reader::readDirectory(uint64_t offset, uint64_t size, uint64_t count) {
    if (offset > fileSize_ || size > fileSize_ - offset || count > size / kCentralSize)
        return arc::kErrHeaderBroken;
    std::unique_ptr<unsigned char[]> cd(new (std::nothrow) unsigned char[size + 1]);
    if (!cd)
        return arc::kErrNoMemory;
    if (!readAt(offset, cd.get(), static_cast<size_t>(size)))
        return arc::kErrCannotRead;
    entries_.reserve(static_cast<size_t>(count));
    size_t i = 0;
    // The count is a minimum: tools that wrote more than 65535 entries without
    // ZIP64 records let the end record's count wrap, and their directory goes
    // on with further records, which are read as long as they come.
    for (uint64_t k = 0;
         k < count || (i + kCentralSize <= size && get32(cd.get() + i) == kCentralSig); ++k) {
        if (i + kCentralSize > size || get32(cd.get() + i) != kCentralSig)
            return arc::kErrHeaderBroken;
        const unsigned char* h = cd.get() + i;
        const size_t nameLen = get16(h + 28);
        const size_t extraLen = get16(h + 30);
        const size_t commentLen = get16(h + 32);
        if (i + kCentralSize + nameLen + extraLen + commentLen > size)
            return arc::kErrHeaderBroken;
        Entry e;
        e.versionMadeBy = get16(h + 4);
        e.versionNeeded = get16(h + 6);
        e.flags = get16(h + 8);
        e.method = get16(h + 10);
        e.dosTime = static_cast<uint32_t>(get16(h + 14)) << 16 | get16(h + 12);
        e.crc = get32(h + 16);
        e.compressedSize = get32(h + 20);
        e.size = get32(h + 24);
        e.internalAttrs = get16(h + 36);
        e.externalAttrs = get32(h + 38);
        e.localOffset = get32(h + 42);
        e.storedName.assign(reinterpret_cast<const char*>(h + kCentralSize), nameLen);
        bool zip64Ok;
        e.extra = parseExtra(h + kCentralSize + nameLen, extraLen, e, zip64Ok);
        if (!zip64Ok)
            return arc::kErrHeaderBroken;
        e.comment.assign(reinterpret_cast<const char*>(h + kCentralSize + nameLen + extraLen),
                         commentLen);
        if ((e.flags & kFlagUtf8) || !applyUnicodePath(e.extra, e))
            e.name = decodeName(e);
        entries_.push_back(std::move(e));
        i += kCentralSize + nameLen + extraLen + commentLen;
    }
    leading_ = offset;
    for (const Entry& e : entries_)
        leading_ = std::min(leading_, e.localOffset);
    return arc::kOk;
}

int Reader::locate(const Entry& entry, uint64_t& dataStart, uint64_t& recordEnd) const {
    unsigned char h[kLocalSize];
    if (!readAt(entry.localOffset, h, sizeof h) || get32(h) != kLocalSig)
        return arc::kErrHeaderBroken;
    const uint64_t start = entry.localOffset + kLocalSize + get16(h + 26) + get16(h + 28);
    if (start > fileSize_ || entry.compressedSize > fileSize_ - start)
        return arc::kErrHeaderBroken;
    uint64_t end = start + entry.compressedSize;
    if (entry.flags & kFlagDescriptor) {
        // CRC and sizes follow the data, with or without a signature, the sizes
        // four bytes each or, in ZIP64 form, eight. Where the bytes there hold
        // the central directory's CRC and sizes in one form only, that is the
        // form (a writer may give the ZIP64 form to any entry); else it is the
        // ZIP64 form when the local header or the sizes need it.
        bool wide = get32(h + 18) == kMarker32 || get32(h + 22) == kMarker32 ||
                    entry.size >= kMarker32 || entry.compressedSize >= kMarker32;
        unsigned char d[24] = {}; // a signature, the CRC and two eight-byte sizes
        readAt(end, d, static_cast<size_t>(std::min<uint64_t>(sizeof d, fileSize_ - end)));
        const size_t at = get32(d) == kDescriptorSig ? 4 : 0;
        if (get32(d + at) == entry.crc) {
            const bool narrowHolds =
                get32(d + at + 4) == entry.compressedSize && get32(d + at + 8) == entry.size;
            const bool wideHolds =
                get64(d + at + 4) == entry.compressedSize && get64(d + at + 12) == entry.size;
            if (narrowHolds != wideHolds)
                wide = wideHolds;
        }
        end += at + (wide ? 20 : 12);
        if (end > fileSize_)
            return arc::kErrHeaderBroken;
    }
    dataStart = start;
    recordEnd = end;
    return arc::kOk;
}

namespace {

// Each thread's buffers for extraction, kept from member to member, and its
// decompressor for members inflated in one call.
struct Buffers {
    std::unique_ptr<unsigned char[]> in;
    std::unique_ptr<unsigned char[]> out;
    libdeflate_decompressor* whole = nullptr;

    Buffers() = default;
    Buffers(const Buffers&) = delete;
    Buffers& operator=(const Buffers&) = delete;
    ~Buffers() { libdeflate_free_decompressor(whole); }
};

thread_local Buffers tBuffers;

// Where an entry's data goes: counted against its size and checked against
// its CRC on the way to the sink.
struct Output {
    const Entry& entry;
    const std::function<int(const void*, size_t)>& sink;
    uint64_t produced = 0;
    uint32_t crc = 0;

    int operator()(const unsigned char* data, size_t n) {
        produced += n;
        if (produced > entry.size)
            return arc::kErrBadData;
        crc = crc32(crc, data, n);
        return sink(data, n);
    }
};

int copyStored(const Reader& reader, uint64_t pos, unsigned char* in, Output& emit) {
    for (uint64_t left = emit.entry.compressedSize; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
        if (!reader.readAt(pos, in, n))
            return arc::kErrBadData;
        pos += n;
        left -= n;
        const int rc = emit(in, n);
        if (rc != arc::kOk)
            return rc;
    }
    return arc::kOk;
}

// A small member is inflated in one call, from its whole data to its whole
// size: the stream must end within the data and give exactly the size
// declared.
int inflateWhole(const Reader& reader, uint64_t pos, Buffers& buffers, Output& emit) {
    if (!buffers.whole)
        buffers.whole = libdeflate_alloc_decompressor();
    if (!buffers.whole)
        return arc::kErrNoMemory;
    const Entry& entry = emit.entry;
    const size_t n = static_cast<size_t>(entry.compressedSize);
    if (!reader.readAt(pos, buffers.in.get(), n))
        return arc::kErrBadData;
    size_t made = 0;
    if (libdeflate_deflate_decompress(buffers.whole, buffers.in.get(), n, buffers.out.get(),
                                      static_cast<size_t>(entry.size),
                                      &made) != LIBDEFLATE_SUCCESS ||
        made != entry.size)
        return arc::kErrBadData;
    return emit(buffers.out.get(), made);
}

int inflateStream(const Reader& reader, uint64_t pos, Buffers& buffers, Output& emit) {
    unsigned char* const in = buffers.in.get();
    unsigned char* const out = buffers.out.get();
    z_stream z = {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return arc::kErrNoMemory;
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
    uint64_t left = emit.entry.compressedSize;
    int zr = Z_OK;
    bool outputFull = false;
    while (zr != Z_STREAM_END) {
        // A call that filled the output may hold more output without more input.
        if (z.avail_in == 0 && (left > 0 || !outputFull)) {
            if (left == 0)
                return arc::kErrBadData; // the data ends before the deflate stream does
            const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
            if (!reader.readAt(pos, in, n))
                return arc::kErrBadData;
            pos += n;
            left -= n;
            z.next_in = in;
            z.avail_in = static_cast<uInt>(n);
        }
        z.next_out = out;
        z.avail_out = kChunk;
        zr = inflate(&z, Z_NO_FLUSH);
        if (zr != Z_OK && zr != Z_STREAM_END)
            return zr == Z_MEM_ERROR ? arc::kErrNoMemory : arc::kErrBadData;
        const size_t n = kChunk - z.avail_out;
        outputFull = z.avail_out == 0;
        const int rc = n > 0 ? emit(out, n) : arc::kOk;
        if (rc != arc::kOk)
            return rc;
    }
    return arc::kOk;
}

} // namespace

int Reader::readable(const Entry& entry, uint64_t& dataStart) const {
    if ((entry.flags & kFlagEncrypted) ||
        (entry.method != kMethodStore && entry.method != kMethodDeflate))
        return arc::kErrMethod;
    uint64_t recordEnd;
    if (const int rc = locate(entry, dataStart, recordEnd); rc != arc::kOk)
        return rc;
    // Deflate makes at most 258 bytes of two bits (the longest match, coded
    // in one bit, at a distance coded in one): 1032 bytes a byte.
    constexpr uint64_t kMostInflatedPerByte = 1032;
    const bool plausible = entry.method == kMethodStore
                               ? entry.size == entry.compressedSize
                               : entry.size / kMostInflatedPerByte <= entry.compressedSize;
    return plausible ? arc::kOk : arc::kErrBadData;
}

int Reader::extract(const Entry& entry, const std::function<int(const void*, size_t)>& sink) const {
    uint64_t pos;
    const int rc = readable(entry, pos);
    return rc != arc::kOk ? rc : extractFrom(entry, pos, sink);
}

int Reader::extractFrom(const Entry& entry, uint64_t pos,
                        const std::function<int(const void*, size_t)>& sink) const {
    int rc = arc::kOk;
    Buffers& buffers = tBuffers;
    if (!buffers.in)
        buffers.in.reset(new (std::nothrow) unsigned char[kChunk]);
    if (!buffers.out)
        buffers.out.reset(new (std::nothrow) unsigned char[kChunk]);
    if (!buffers.in || !buffers.out)
        return arc::kErrNoMemory;
    Output emit{entry, sink};
    if (entry.method == kMethodStore)
        rc = copyStored(*this, pos, buffers.in.get(), emit);
    else if (entry.size <= kChunk && entry.compressedSize <= kChunk)
        rc = inflateWhole(*this, pos, buffers, emit);
    else
        rc = inflateStream(*this, pos, buffers, emit);
    if (rc != arc::kOk)
        return rc;
    if (emit.produced != entry.size)
        return arc::kErrBadData;
    return emit.crc == entry.crc ? arc::kOk : arc::kErrFileCrc;
}

} // namespace zip

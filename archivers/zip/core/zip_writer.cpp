#include "zip_writer.h"

#include "cp932.h"
#include "deflate_format.h"
#include "deflate_walk.h"
#include "huge_pages.h"
#include "results.h"

#include <algorithm>

namespace zip {

namespace {

constexpr size_t kChunk = 1 << 20;
// Stored data passes through in smaller reads: the same few pages again and
// again instead of a megabyte of them.
constexpr size_t kStoreChunk = 128 << 10;
// The most input one batch of pieces holds: with more threads the pieces get
// smaller, so that memory does not grow with the number of cores.
constexpr size_t kBatchMax = 16 << 20;
constexpr uint16_t kMadeByUnix = kHostUnix << 8 | 63;
constexpr uint16_t kNeedStore = 10;
constexpr uint16_t kNeedDeflate = 20;
constexpr uint16_t kNeedZip64 = 45;

std::string timestampField(time_t mtime) {
    std::string f;
    if (mtime < 0 || mtime > 0x7fffffff)
        return f;
    put16(f, kExtraTimestamp);
    put16(f, 5);
    f.push_back(1); // modification time present
    put32(f, static_cast<uint32_t>(mtime));
    return f;
}

// The Info-ZIP Unicode Path field: version 1, the CRC-32 of the name it
// stands for, the name in UTF-8.
std::string unicodePathField(const std::string& storedName, const std::string& utf8) {
    std::string f;
    put16(f, kExtraUnicodePath);
    put16(f, static_cast<uint16_t>(5 + utf8.size()));
    f.push_back(1);
    put32(f, crc32(0, storedName.data(), storedName.size()));
    f += utf8;
    return f;
}

// Reads up to `want` bytes of the file into `buf`, `have` of them read so
// far; fewer when the file ends. Returns kOk, arc::kPassedOver when the file
// cannot be read, or kErrCancelled.
int readBatch(arc::InputFile& in, unsigned char* buf, size_t want, size_t& have,
              ProgressCount& count, const char* member) {
    while (have < want) {
        const long long r = in.read(buf + have, std::min(kChunk, want - have));
        if (r < 0)
            return arc::kPassedOver;
        if (r == 0)
            break;
        have += static_cast<size_t>(r);
        if (count.report(member, count.done + have / 2))
            return arc::kErrCancelled;
    }
    return arc::kOk;
}

// Where a file of `total` bytes is cut into pieces of at most `most`, the same
// whatever the thread count: pieces of `most` from its start, but for the last
// two, which share the rest evenly (a file of two pieces goes in halves).
struct PieceCuts {
    uint64_t total;
    size_t most;
    uint64_t count; // pieces, one at least

    PieceCuts(uint64_t total, size_t most)
        : total(total), most(most), count(std::max<uint64_t>((total + most - 1) / most, 1)) {}
    size_t size(uint64_t k) const {
        if (count == 1)
            return static_cast<size_t>(total);
        if (k + 2 < count)
            return most;
        const uint64_t rest = total - (count - 2) * most;
        const uint64_t first = (rest + 1) / 2;
        return static_cast<size_t>(k + 2 == count ? first : rest - first);
    }
};

// Shortens the pieces to the `have` bytes read, keeping one piece at least.
void cutPieces(std::vector<size_t>& pieces, size_t have) {
    for (size_t& p : pieces) {
        p = std::min(p, have);
        have -= p;
    }
    while (pieces.size() > 1 && pieces.back() == 0)
        pieces.pop_back();
}

// The entry of a file about to be added at `offset`, but for what its data
// decides (method, CRC, sizes).
Entry entryFor(const std::string& name, const arc::InputFile& in, NameCoding names,
               uint64_t offset) {
    Entry e;
    e.name = name;
    e.storedName = name;
    e.versionMadeBy = kMadeByUnix;
    e.flags = hasNonAscii(name) && isUtf8(name) ? kFlagUtf8 : 0;
    e.dosTime = toDosTime(in.mtime());
    e.mtime = in.mtime();
    e.externalAttrs = (0100000u | in.mode()) << 16;
    e.localOffset = offset;
    e.extra = timestampField(in.mtime());
    std::string cp932;
    if (e.flags == kFlagUtf8 && names == NameCoding::Cp932First && arc::utf8ToCp932(name, cp932)) {
        e.storedName = cp932;
        e.flags = 0;
        e.extra += unicodePathField(cp932, name);
    }
    return e;
}

// The local header, with zeros where the data decides, and with a ZIP64
// field of zero sizes at `zip64At` when `zip64`: all patched once the data
// is written (patchLocal).
std::string localHeader(const Entry& e, bool zip64, size_t& zip64At) {
    std::string local;
    put32(local, kLocalSig);
    put16(local, 0); // version needed, flags, method, time, CRC and sizes: set below
    put16(local, 0);
    put16(local, 0);
    put32(local, 0);
    put32(local, 0);
    put32(local, 0);
    put32(local, 0);
    put16(local, static_cast<uint16_t>(e.storedName.size()));
    put16(local, static_cast<uint16_t>((zip64 ? 20 : 0) + e.extra.size()));
    local += e.storedName;
    zip64At = local.size() + 4;
    if (zip64) {
        put16(local, kExtraZip64);
        put16(local, 16);
        put64(local, 0);
        put64(local, 0);
    }
    local += e.extra;
    return local;
}

// Completes the local header of an entry whose data is written.
int patchLocal(arc::AtomicOutput& out, const Entry& e, bool zip64, size_t zip64At) {
    std::string fields;
    put16(fields, e.versionNeeded);
    put16(fields, e.flags);
    put16(fields, e.method);
    put32(fields, e.dosTime); // time, then date
    put32(fields, e.crc);
    put32(fields, zip64 ? kMarker32 : static_cast<uint32_t>(e.compressedSize));
    put32(fields, zip64 ? kMarker32 : static_cast<uint32_t>(e.size));
    int rc = out.patch(e.localOffset + 4, fields.data(), fields.size());
    if (rc == arc::kOk && zip64) {
        std::string sizes;
        put64(sizes, e.size);
        put64(sizes, e.compressedSize);
        rc = out.patch(e.localOffset + zip64At, sizes.data(), sizes.size());
    }
    return rc;
}

// The central directory header of an entry; false when its extra fields
// outgrow their size field.
bool centralHeader(const Entry& e, const Limits& limits, std::string& h) {
    const bool bigSize = e.size >= limits.max32;
    const bool bigPacked = e.compressedSize >= limits.max32;
    const bool bigOffset = e.localOffset >= limits.max32;
    std::string zip64;
    if (bigSize || bigPacked || bigOffset) {
        put16(zip64, kExtraZip64);
        put16(zip64, static_cast<uint16_t>(8 * (bigSize + bigPacked + bigOffset)));
        if (bigSize)
            put64(zip64, e.size);
        if (bigPacked)
            put64(zip64, e.compressedSize);
        if (bigOffset)
            put64(zip64, e.localOffset);
    }
    const size_t extraSize = zip64.size() + e.extra.size();
    if (extraSize > 0xffff)
        return false;
    put32(h, kCentralSig);
    put16(h, e.versionMadeBy);
    put16(h, zip64.empty() ? e.versionNeeded : std::max(e.versionNeeded, kNeedZip64));
    put16(h, e.flags);
    put16(h, e.method);
    put16(h, static_cast<uint16_t>(e.dosTime & 0xffff));
    put16(h, static_cast<uint16_t>(e.dosTime >> 16));
    put32(h, e.crc);
    put32(h, bigPacked ? kMarker32 : static_cast<uint32_t>(e.compressedSize));
    put32(h, bigSize ? kMarker32 : static_cast<uint32_t>(e.size));
    put16(h, static_cast<uint16_t>(e.storedName.size()));
    put16(h, static_cast<uint16_t>(extraSize));
    put16(h, static_cast<uint16_t>(e.comment.size()));
    put16(h, 0); // disk number
    put16(h, e.internalAttrs);
    put32(h, e.externalAttrs);
    put32(h, bigOffset ? kMarker32 : static_cast<uint32_t>(e.localOffset));
    h += e.storedName;
    h += zip64;
    h += e.extra;
    h += e.comment;
    return true;
}

// The ZIP64 end record and its locator, for a directory at `cdOffset` of
// `cdSize` bytes and `count` entries, the record itself at `at`.
std::string zip64End(uint64_t at, uint64_t count, uint64_t cdSize, uint64_t cdOffset) {
    std::string tail;
    put32(tail, kZip64EndSig);
    put64(tail, kZip64EndSize - 12);
    put16(tail, kMadeByUnix);
    put16(tail, kNeedZip64);
    put32(tail, 0);
    put32(tail, 0);
    put64(tail, count);
    put64(tail, count);
    put64(tail, cdSize);
    put64(tail, cdOffset);
    put32(tail, kZip64LocatorSig);
    put32(tail, 0);
    put64(tail, at);
    put32(tail, 1);
    return tail;
}

} // namespace

Writer::Writer(arc::AtomicOutput& out, const Limits& limits, NameCoding names)
    : out_(out), limits_(limits), names_(names) {}

Writer::~Writer() = default;

unsigned char* Writer::inBuffer(size_t size) {
    if (inRoom_ < size) {
        inBuf_.reset();
        inRoom_ = 0;
        inBuf_ = arc::makeHugeBytes(size);
        inRoom_ = size;
    }
    return inBuf_.get();
}

int Writer::storeStream(arc::InputFile& in, uint64_t size, uint32_t& crc, uint64_t& got,
                        ProgressCount& count, const char* member) {
    unsigned char* const buf = inBuffer(kStoreChunk);
    while (got < size) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kStoreChunk, size - got));
        const long long n = in.read(buf, want);
        if (n < 0)
            return arc::kPassedOver;
        if (n == 0)
            break; // the file shrank while it was read: its entry ends here
        crc = crc32(crc, buf, static_cast<size_t>(n));
        int rc = out_.write(buf, static_cast<size_t>(n));
        if (rc != arc::kOk)
            return rc;
        got += static_cast<uint64_t>(n);
        count.done += static_cast<uint64_t>(n);
        if (count.report(member, count.done))
            return arc::kErrCancelled;
    }
    return arc::kOk;
}

int Writer::storedBlocksOf(const std::string& path, uint64_t length, uint32_t crc,
                           uint64_t& packed) {
    const uint64_t dataStart = out_.tell() - length;
    int rc = out_.truncate(dataStart);
    arc::InputFile again;
    if (rc != arc::kOk || !again.open(path))
        return rc != arc::kOk ? rc : arc::kPassedOver;
    // Whole stored blocks a read, so that only the last one may be short.
    const size_t chunk = deflate::kStoredMax * 2;
    std::vector<unsigned char> read(chunk); // the batch in inBuffer() is still wanted
    unsigned char* const buf = read.data();
    uint32_t check = 0;
    for (uint64_t left = length; left > 0;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, left));
        size_t have = 0;
        while (have < want) {
            const long long r = again.read(buf + have, want - have);
            if (r <= 0)
                return arc::kPassedOver; // the file shrank or cannot be read: it is passed over
            have += static_cast<size_t>(r);
        }
        check = crc32(check, buf, have);
        block_.clear();
        deflate::appendStored(buf, have, block_);
        if ((rc = out_.write(block_.data(), block_.size())) != arc::kOk)
            return rc;
        left -= have;
    }
    packed = out_.tell() - dataStart;
    return check == crc ? arc::kOk : arc::kPassedOver;
}

int Writer::writeFragments(bool ending) {
    int rc = arc::kOk;
    for (size_t i = 0; rc == arc::kOk && i < spans_.size(); ++i) {
        const FragmentSpan& s = spans_[i];
        const FragmentLane& lane = lanes_[s.lane];
        size_t at = s.at;
        for (size_t r = s.refFrom; rc == arc::kOk && r < s.refTo; ++r) {
            const deflate::InputRef& ref = lane.refs[r];
            rc = out_.write(lane.bytes.data() + at, ref.at - at);
            if (rc == arc::kOk)
                rc = out_.write(ref.from, ref.size);
            at = ref.at;
        }
        if (rc == arc::kOk)
            rc = out_.write(lane.bytes.data() + at, s.at + s.size - at);
    }
    if (rc == arc::kOk && ending)
        rc = out_.write(deflate::kStreamEnd, sizeof deflate::kStreamEnd);
    return rc;
}

int Writer::deflateFile(const std::string& path, arc::InputFile& in, uint64_t size, int level,
                        uint32_t& crc, uint64_t& got, uint64_t& packed, bool& stored,
                        ProgressCount& count, const char* member) {
    const unsigned threads = std::max(limits_.threads, 1u);
    const size_t most = std::min(static_cast<size_t>(limits_.pieceSize), kBatchMax / threads);
    const PieceCuts cuts(size - got, most);
    uint64_t next = 0;          // the first piece of the next batch
    std::vector<size_t> pieces; // the sizes of this batch's pieces, a piece a thread
    bool streamed = false;      // fragments of earlier batches are written already
    uint64_t raw = 0;           // bytes written as they are, while no batch shrinks
    // Each batch is read in after the last window of the one before, so that
    // its first piece refers back as every other does: the archive does not
    // depend on how many pieces a batch holds (the thread count), but where
    // the first batches do not shrink and go out as they are, and where more
    // threads make the pieces smaller.
    unsigned char* const base = inBuffer(
        deflate::kWindow + static_cast<size_t>(std::min<uint64_t>(most * threads, size - got)));
    size_t kept = 0; // the window before this batch, at base
    for (;;) {
        // Piece by piece, each looked at as it comes in: a piece of noise and
        // data that would shrink but little is compressed part by part on all
        // threads, alone in its batch, so that such data holds the memory of
        // one piece only; other pieces go side by side, one a thread.
        pieces.clear();
        kinds_.clear();
        unsigned char* const buf = base + kept;
        size_t want = 0;
        size_t have = 0;
        while (next < cuts.count && pieces.size() < threads) {
            pieces.push_back(cuts.size(next++));
            const size_t from = want;
            want += pieces.back();
            const int rc = readBatch(in, buf, want, have, count, member);
            if (rc != arc::kOk)
                return rc;
            if (classifyParts(buf + from, have - from, level, kinds_) && pieces.size() == 1)
                break;
            if (have < want)
                break;
        }
        int rc = arc::kOk;
        const uint32_t crcBefore = crc;
        crc = crc32(crc, buf, have);
        got += have;
        const bool last = have < want || got == size;
        if (have < want) // the file shrank while it was read: its pieces end early
            cutPieces(pieces, have);
        // A file that fits in one piece becomes one complete stream.
        const bool whole = last && !streamed && raw == 0 && pieces.size() == 1;
        if (!compressPieces(buf, kept, pieces, kinds_, level, threads, whole, lanes_, spans_))
            return arc::kErrNoMemory;
        const bool ending = last && !whole; // the fragments need the closing block
        uint64_t made = ending ? sizeof deflate::kStreamEnd : 0;
        for (const FragmentSpan& f : spans_) {
            made += f.size;
            for (size_t r = f.refFrom; r < f.refTo; ++r)
                made += lanes_[f.lane].refs[r].size;
        }
        if (!streamed && made >= have) {
            // Deflate does not shrink what came so far (compressed files,
            // photos, noise): it is written as it is, and the member stored,
            // unless a later batch shrinks after all.
            rc = out_.write(buf, have);
            raw += have;
            if (last) {
                stored = true;
                packed = raw;
            }
        } else {
            if (raw > 0) {
                // This batch shrinks: what went out as it is becomes stored
                // blocks of the member's deflate stream, read again from the file.
                rc = storedBlocksOf(path, raw, crcBefore, packed);
                if (rc != arc::kOk)
                    return rc;
                raw = 0;
            }
            rc = writeFragments(ending);
            packed += made;
            streamed = true;
        }
        if (rc != arc::kOk)
            return rc;
        count.done += have;
        if (count.report(member, count.done))
            return arc::kErrCancelled;
        if (last)
            return arc::kOk;
        const size_t keep = std::min(kept + have, deflate::kWindow);
        std::memmove(base, buf + have - keep, keep);
        kept = keep;
    }
}

int Writer::storeAgain(const std::string& path, uint64_t dataStart, uint32_t& crc, uint64_t& got,
                       ProgressCount& count, const char* member) {
    const uint32_t first = crc;
    const uint64_t length = got;
    arc::InputFile again;
    int rc = out_.truncate(dataStart);
    if (rc == arc::kOk)
        rc = again.open(path) ? arc::kOk : arc::kPassedOver;
    crc = 0;
    got = 0;
    count.done -= length;
    if (rc == arc::kOk)
        rc = storeStream(again, length, crc, got, count, member);
    if (rc == arc::kOk && (got != length || crc != first))
        rc = arc::kPassedOver;
    return rc;
}

int Writer::addFile(const std::string& path, const std::string& name, int level,
                    ProgressCount& count) {
    arc::InputFile in;
    if (!in.open(path))
        return arc::kPassedOver;
    const uint64_t size = in.size();
    // Reading stops at the size seen now, so a file that grows meanwhile
    // cannot outgrow the choice of header made here.
    const bool zip64 = size >= limits_.max32;
    Entry e = entryFor(name, in, names_, out_.tell());
    size_t zip64At = 0;
    const std::string local = localHeader(e, zip64, zip64At);
    int rc = out_.write(local.data(), local.size());
    if (rc != arc::kOk)
        return rc;
    const uint64_t dataStart = out_.tell();

    uint32_t crc = 0;
    uint64_t got = 0;
    uint64_t packed = 0;
    bool stored = level == 0;
    const char* member = name.c_str();
    if (level == 0) {
        rc = storeStream(in, size, crc, got, count, member);
        packed = got;
    } else {
        rc = deflateFile(path, in, size, level, crc, got, packed, stored, count, member);
        if (rc == arc::kOk && !stored && packed >= got) {
            rc = storeAgain(path, dataStart, crc, got, count, member);
            packed = got;
            stored = true;
        }
    }
    if (rc != arc::kOk) {
        if (rc == arc::kPassedOver && out_.truncate(e.localOffset) != arc::kOk)
            return arc::kErrCannotWriteDest;
        return rc;
    }

    e.method = stored ? kMethodStore : kMethodDeflate;
    e.versionNeeded = zip64 ? kNeedZip64 : stored ? kNeedStore : kNeedDeflate;
    e.crc = crc;
    e.size = got;
    e.compressedSize = packed;
    rc = patchLocal(out_, e, zip64, zip64At);
    if (rc != arc::kOk)
        return rc;
    entries_.push_back(std::move(e));
    return arc::kOk;
}

int Writer::copyEntry(const Reader& reader, const Entry& entry) {
    uint64_t dataStart, recordEnd;
    int rc = reader.locate(entry, dataStart, recordEnd);
    if (rc != arc::kOk)
        return rc;
    Entry copy = entry;
    copy.localOffset = out_.tell();
    if ((rc = copyRange(reader, entry.localOffset, recordEnd)) != arc::kOk)
        return rc;
    entries_.push_back(std::move(copy));
    return arc::kOk;
}

int Writer::copyLeadingBytes(const Reader& reader) {
    return copyRange(reader, 0, reader.leadingBytes());
}

int Writer::copyRange(const Reader& reader, uint64_t from, uint64_t to) {
    unsigned char* const buf = inBuffer(kChunk);
    for (uint64_t at = from; at < to;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, to - at));
        if (!reader.readAt(at, buf, n))
            return arc::kErrCannotRead;
        const int rc = out_.write(buf, n);
        if (rc != arc::kOk)
            return rc;
        at += n;
    }
    return arc::kOk;
}

int Writer::finish(const std::string& comment) {
    const uint64_t cdOffset = out_.tell();
    for (const Entry& e : entries_) {
        std::string h;
        if (!centralHeader(e, limits_, h))
            return arc::kErrHeaderBroken;
        const int rc = out_.write(h.data(), h.size());
        if (rc != arc::kOk)
            return rc;
    }
    const uint64_t cdSize = out_.tell() - cdOffset;
    const uint64_t count = entries_.size();
    const bool zip64 =
        count >= limits_.maxEntries || cdSize >= limits_.max32 || cdOffset >= limits_.max32;
    std::string tail = zip64 ? zip64End(out_.tell(), count, cdSize, cdOffset) : std::string();
    // Only the fields that overflow carry the marker that sends readers to the ZIP64 record.
    const uint16_t count16 = count >= limits_.maxEntries ? kMarker16 : static_cast<uint16_t>(count);
    put32(tail, kEndSig);
    put16(tail, 0);
    put16(tail, 0);
    put16(tail, count16);
    put16(tail, count16);
    put32(tail, cdSize >= limits_.max32 ? kMarker32 : static_cast<uint32_t>(cdSize));
    put32(tail, cdOffset >= limits_.max32 ? kMarker32 : static_cast<uint32_t>(cdOffset));
    const std::string text = comment.substr(0, 0xffff);
    put16(tail, static_cast<uint16_t>(text.size()));
    tail += text;
    return out_.write(tail.data(), tail.size());
}

} // namespace zip

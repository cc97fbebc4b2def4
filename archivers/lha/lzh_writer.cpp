#include "lzh_writer.h"

#include "crc16.h"
#include "files.h"
#include "huge_pages.h"
#include "lz_anchors.h"
#include "lzh_header.h"
#include "noise.h"
#include "results.h"
#include "worker_pool.h"

#include <algorithm>
#include <new>

namespace lha {

namespace {

constexpr size_t kChunk = 1 << 20;
// Members from this size up get the 64-bit size extension (with room for a file
// that grows while it is read).
constexpr uint64_t kLargeFrom = 0xFFFFFFFFull - (1ull << 24);
// Files prepared ahead at once: at most this many, holding at most kAheadBytes.
// The threads wait for each other at the end of every such batch (the last file
// keeps one busy while the others have none left), so a batch is long enough
// for that wait to be a small part of it: 1,000 headers lose about 1 % of two
// cores' time in 256-file batches, 4 % in 64-file ones.
constexpr size_t kAheadFiles = 256;
constexpr uint64_t kAheadBytes = 8 << 20;

} // namespace

// A member being streamed: where its data starts and what went out so far.
struct MemberWriter::Stream {
    uint64_t dataStart = 0;
    uint16_t crc = 0;
    uint64_t size = 0;       // bytes of the file read
    bool compressed = false; // coded, and smaller than the file
    bool stored = false;     // the data went out as it is, all of it
};

// A small file read and compressed whole, waiting for its turn.
struct MemberWriter::Prepared {
    bool opened = false;
    bool whole = false; // it fitted in kChunk; else it is streamed when its turn comes
    int error = arc::kOk;
    unsigned mode = 0;
    time_t mtime = 0;
    uint16_t crc = 0;
    uint64_t size = 0;
    bool compressed = false;
    arc::HugeVector<uint8_t> data; // what goes after the header
};

MemberWriter::MemberWriter(arc::AtomicOutput& out, arc::Progress& progress,
                           const MemberOptions& options)
    : out_(out), progress_(progress), options_(options),
      buf_(std::make_unique_for_overwrite<uint8_t[]>(kChunk)) {}

MemberWriter::~MemberWriter() = default;

void MemberWriter::expect(std::vector<const Planned*> order) {
    order_ = std::move(order);
    for (size_t i = 0; i < order_.size(); ++i)
        position_[order_[i]] = i;
}

bool MemberWriter::worthEncoding(const uint8_t* data, size_t size) const {
    if (arc::worthCompressing(data, size))
        return true;
    std::vector<lz::LongMatch> repeats;
    lz::findLongMatches(data, 0, size, (size_t{1} << options_.method->windowBits) - 1, 32, repeats);
    uint64_t covered = 0;
    for (const lz::LongMatch& r : repeats)
        covered += r.length;
    return covered * 1000 >= size;
}

void MemberWriter::prepare(const Planned& file, Prepared& p) const {
    arc::InputFile in;
    if (!in.open(file.path))
        return;
    p.opened = true;
    p.mode = in.mode();
    p.mtime = in.mtime();
    if (in.size() > kChunk)
        return;
    // One byte more than fits tells a file that grew meanwhile. The room is
    // not cleared: the file is read into it.
    arc::HugeVector<uint8_t> bytes(static_cast<size_t>(in.size()) + 1);
    size_t have = 0;
    for (;;) {
        const size_t asked = bytes.size() - have;
        const long long got = in.read(bytes.data() + have, asked);
        if (got < 0) {
            p.opened = false;
            return;
        }
        have += static_cast<size_t>(got);
        // Less than asked: the read met the file's end. Else the room is
        // full: the file grew.
        if (static_cast<size_t>(got) < asked)
            break;
        if (have > kChunk)
            return;
        const size_t more = std::min(kChunk + 1, 2 * bytes.size());
        arc::reserveFor(bytes, more);
        bytes.resize(more);
    }
    bytes.resize(have);
    p.whole = true;
    p.size = have;
    p.crc = arc::crc16Update(0, bytes.data(), have);
    if (!options_.store && have > 0 && worthEncoding(bytes.data(), have)) {
        arc::HugeVector<uint8_t> packed;
        LhEncoder encoder(
            options_.method->windowBits,
            [&packed](const uint8_t* d, size_t n) {
                arc::appendTo(packed, d, n);
                return static_cast<int>(arc::kOk);
            },
            options_.level, 1, &stock_);
        const int rc = encoder.encode(bytes.data(), have);
        if (rc != arc::kOk) {
            p.error = rc;
            return;
        }
        if (packed.size() < have) {
            p.compressed = true;
            p.data = std::move(packed);
            return;
        }
    }
    p.data = std::move(bytes);
}

void MemberWriter::prepareFrom(size_t index) {
    std::vector<const Planned*> batch;
    uint64_t bytes = 0;
    for (size_t i = index; i < order_.size() && batch.size() < kAheadFiles; ++i) {
        const Planned* f = order_[i];
        if (f->size > kChunk || bytes + f->size > kAheadBytes)
            break;
        bytes += f->size;
        batch.push_back(f);
    }
    std::vector<std::unique_ptr<Prepared>> results(batch.size());
    arc::WorkerPool::shared().run(batch.size(), options_.width, [&](size_t i) {
        results[i] = std::make_unique<Prepared>();
        try {
            prepare(*batch[i], *results[i]);
        } catch (const std::bad_alloc&) {
            results[i]->error = arc::kErrNoMemory;
        }
    });
    for (size_t i = 0; i < batch.size(); ++i)
        prepared_[batch[i]] = std::move(results[i]);
}

int MemberWriter::write(const Planned& file) {
    auto it = prepared_.find(&file);
    if (it == prepared_.end() && file.size <= kChunk) {
        auto at = position_.find(&file);
        if (at != position_.end())
            prepareFrom(at->second);
        else
            prepare(file, *(prepared_[&file] = std::make_unique<Prepared>()));
        it = prepared_.find(&file);
    }
    if (it == prepared_.end())
        return writeStreamed(file);
    const std::unique_ptr<Prepared> p = std::move(it->second);
    prepared_.erase(it);
    if (p->error != arc::kOk)
        return p->error;
    if (!p->opened)
        return arc::kPassedOver;
    if (!p->whole)
        return writeStreamed(file);
    const std::vector<uint8_t> header =
        buildLevel2Header(p->compressed ? options_.method->id : kStored.id, file.stored, p->mode,
                          p->data.size(), p->size, p->mtime, p->crc, false);
    int rc = out_.write(header.data(), header.size());
    if (rc == arc::kOk)
        rc = out_.write(p->data.data(), p->data.size());
    if (rc != arc::kOk)
        return rc;
    done_ += p->size;
    return progress_.report(file.name.c_str(), done_) ? arc::kErrCancelled : arc::kOk;
}

int MemberWriter::passOver(uint64_t start) {
    int rc = out_.truncate(start);
    return rc == arc::kOk ? arc::kPassedOver : rc;
}

int MemberWriter::storeRaw(const Planned& file, arc::InputFile& in, Stream& s) {
    const uint64_t reported = s.size;
    in.close();
    if (!in.open(file.path))
        return arc::kPassedOver;
    int rc = out_.truncate(s.dataStart);
    if (rc != arc::kOk)
        return rc;
    s.crc = 0;
    s.size = 0;
    for (;;) {
        long long got = in.read(buf_.get(), kChunk);
        if (got < 0)
            return arc::kPassedOver;
        if (got == 0)
            return arc::kOk;
        const size_t n = static_cast<size_t>(got);
        s.crc = arc::crc16Update(s.crc, buf_.get(), n);
        s.size += n;
        rc = out_.write(buf_.get(), n);
        if (rc != arc::kOk)
            return rc;
        if (progress_.report(file.name.c_str(), done_ + std::max(s.size, reported)))
            return arc::kErrCancelled;
    }
}

int MemberWriter::encodeAgain(const Planned& file, LhEncoder& encoder, uint64_t length,
                              uint16_t crc) {
    arc::InputFile again;
    if (!again.open(file.path))
        return arc::kPassedOver;
    std::vector<uint8_t> buf(kChunk); // buf_ holds the chunk that is still to be encoded
    uint16_t check = 0;
    for (uint64_t left = length; left > 0;) {
        const long long got =
            again.read(buf.data(), static_cast<size_t>(std::min<uint64_t>(kChunk, left)));
        if (got <= 0)
            return arc::kPassedOver;
        const size_t n = static_cast<size_t>(got);
        check = arc::crc16Update(check, buf.data(), n);
        const int rc = encoder.write(buf.data(), n);
        if (rc != arc::kOk)
            return rc;
        left -= n;
    }
    return check == crc ? arc::kOk : arc::kPassedOver;
}

int MemberWriter::startEncoder(const Planned& file, std::unique_ptr<LhEncoder>& encoder,
                               const Stream& s, uint64_t raw, uint16_t crcBefore) {
    encoder = std::make_unique<LhEncoder>(
        options_.method->windowBits,
        [this](const uint8_t* d, size_t k) { return out_.write(d, k); }, options_.level,
        options_.width, &stock_);
    if (raw == 0)
        return arc::kOk;
    // A part that shrinks after some that did not: those are read again and
    // compressed first.
    const int rc = out_.truncate(s.dataStart);
    return rc == arc::kOk ? encodeAgain(file, *encoder, raw, crcBefore) : rc;
}

int MemberWriter::compressStream(const Planned& file, arc::InputFile& in, Stream& s) {
    std::unique_ptr<LhEncoder> encoder; // made once a chunk is worth compressing
    uint64_t raw = 0;                   // bytes written as they are until then
    for (;;) {
        const long long got = in.read(buf_.get(), kChunk);
        if (got < 0)
            return arc::kPassedOver;
        if (got == 0)
            break;
        const size_t n = static_cast<size_t>(got);
        const uint16_t crcBefore = s.crc;
        s.crc = arc::crc16Update(s.crc, buf_.get(), n);
        s.size += n;
        int rc;
        if (!encoder && !worthEncoding(buf_.get(), n)) {
            rc = out_.write(buf_.get(), n);
            raw += n;
        } else {
            rc = encoder ? arc::kOk : startEncoder(file, encoder, s, raw, crcBefore);
            if (rc == arc::kOk)
                rc = encoder->write(buf_.get(), n);
        }
        if (rc != arc::kOk)
            return rc;
        if (progress_.report(file.name.c_str(), done_ + s.size))
            return arc::kErrCancelled;
        // Output only grows: once it reaches the file's size it cannot shrink it.
        if (encoder && encoder->outputSize() >= in.size())
            return arc::kOk;
    }
    if (!encoder) {
        s.stored = true;
        return arc::kOk;
    }
    const int rc = encoder->finish();
    s.compressed = rc == arc::kOk && encoder->outputSize() < s.size;
    return rc;
}

int MemberWriter::writeStreamed(const Planned& file) {
    arc::InputFile in;
    if (!in.open(file.path))
        return arc::kPassedOver;
    const bool large = in.size() >= kLargeFrom;
    const uint64_t start = out_.tell();
    // A placeholder of the final header's length; it is patched once the data is written.
    const std::vector<uint8_t> placeholder =
        buildLevel2Header(kStored.id, file.stored, in.mode(), 0, 0, 0, 0, large);
    int rc = out_.write(placeholder.data(), placeholder.size());
    if (rc != arc::kOk)
        return rc;
    Stream s;
    s.dataStart = out_.tell();
    if (!options_.store && in.size() > 0)
        rc = compressStream(file, in, s);
    if (rc == arc::kOk && !s.compressed && !s.stored)
        rc = storeRaw(file, in, s);
    if (rc == arc::kPassedOver || (rc == arc::kOk && !large && s.size > 0xFFFFFFFFull))
        return passOver(start);
    if (rc != arc::kOk)
        return rc;
    const uint64_t packed = out_.tell() - s.dataStart;
    std::vector<uint8_t> header =
        buildLevel2Header(s.compressed ? options_.method->id : kStored.id, file.stored, in.mode(),
                          packed, s.size, in.mtime(), s.crc, large);
    rc = out_.patch(start, header.data(), header.size());
    done_ += std::max(s.size, in.size());
    return rc;
}

} // namespace lha

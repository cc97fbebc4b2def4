#include "deflate_pieces.h"

#include <algorithm>
#include <atomic>
#include <libdeflate.h>
#include <new>
#include <system_error>
#include <zlib.h>

namespace zip {

namespace {

constexpr size_t kStoredMax = 65535;

// Level 9 looks at four samples of this size spread over a piece.
constexpr size_t kSample = 16384;

// Appends `size` bytes as non-final stored blocks, starting byte-aligned.
void appendStored(const unsigned char* in, size_t size, std::vector<unsigned char>& out) {
    out.clear();
    out.reserve(size + (size / kStoredMax + 1) * 5);
    do {
        const size_t n = std::min(size, kStoredMax);
        const unsigned char header[5] = {
            0, static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
            static_cast<unsigned char>(~n), static_cast<unsigned char>(~n >> 8)};
        out.insert(out.end(), header, header + 5);
        out.insert(out.end(), in, in + n);
        in += n;
        size -= n;
    } while (size > 0);
}

// Walks a complete raw deflate stream block by block to find the bit where
// its last block starts and the bit where that block ends. With Z_BLOCK, zlib
// returns right after each end-of-block code, reporting in data_type the
// unused bits of the last byte taken (+64 when that block was the last,
// +128 at such a boundary). False when the stream does not decode.
bool findLastBlock(const unsigned char* data, size_t size, size_t& lastStart, size_t& end) {
    z_stream z = {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return false;
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
    std::unique_ptr<unsigned char[]> sink(new (std::nothrow) unsigned char[1 << 16]);
    if (!sink)
        return false;
    z.next_in = const_cast<unsigned char*>(data);
    z.avail_in = static_cast<uInt>(size);
    lastStart = 0;
    bool ended = false;
    for (;;) {
        z.next_out = sink.get();
        z.avail_out = 1 << 16;
        const int rc = inflate(&z, Z_BLOCK);
        if (rc == Z_STREAM_END)
            return ended;
        if (rc != Z_OK)
            return false;
        if (z.data_type & 128) {
            const size_t bit = (size - z.avail_in) * 8 - (z.data_type & 7);
            if (z.data_type & 64) {
                end = bit;
                ended = true;
            } else {
                lastStart = bit; // the next block's header starts here
            }
        }
    }
}

} // namespace

const unsigned char PieceCompressor::kStreamEnd[5] = {1, 0, 0, 0xff, 0xff};

PieceCompressor::Slot::~Slot() {
    for (libdeflate_compressor* c : compressors)
        libdeflate_free_compressor(c);
}

libdeflate_compressor* PieceCompressor::Slot::compressor(int level) {
    if (!compressors[level])
        compressors[level] = libdeflate_alloc_compressor(level);
    return compressors[level];
}

PieceCompressor::PieceCompressor(unsigned threads) {
    const unsigned count = std::max(threads, 1u);
    slots_.reserve(count);
    for (unsigned i = 0; i < count; ++i)
        slots_.push_back(std::make_unique<Slot>());
    helpers_.reserve(count - 1); // starting a helper never moves the others
}

PieceCompressor::~PieceCompressor() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : helpers_)
        t.join();
}

PieceCompressor& PieceCompressor::shared() {
    static PieceCompressor instance(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    return instance;
}

// Level 9's choice for one piece, from four samples spread over it: long runs
// (the samples shrink below 1/16 at libdeflate's fastest level) and text (at
// most 1/8 of the sampled bytes are control characters other than tab, line
// feed, form feed and carriage return) take the lazy search (9), the rest the
// near-optimal parser (10).
int PieceCompressor::pieceLevel(Slot& slot, const unsigned char* in, size_t size, int level) {
    if (level < 9)
        return level;
    libdeflate_compressor* const fast = slot.compressor(1);
    if (!fast || slot.room < kSample)
        throw std::bad_alloc();
    size_t sampled = 0;
    size_t packed = 0;
    size_t controls = 0;
    for (size_t k = 0; k < 4; ++k) {
        const unsigned char* const at = in + size / 4 * k;
        const size_t n = std::min(kSample, size - size / 4 * k);
        for (size_t i = 0; i < n; ++i) {
            const unsigned char c = at[i];
            controls += c < 0x20 && c != '\t' && c != '\n' && c != '\f' && c != '\r';
        }
        const size_t made = libdeflate_deflate_compress(fast, at, n, slot.scratch.get(), n);
        packed += made > 0 ? made : n;
        sampled += n;
    }
    if (packed * 16 < sampled || controls * 8 <= sampled)
        return 9;
    return 10;
}

void PieceCompressor::fragment(Slot& slot, const unsigned char* in, size_t size, int level,
                               bool whole, std::vector<unsigned char>& out) {
    const size_t room = std::max(size, kSample);
    if (slot.room < room) {
        slot.scratch.reset();
        slot.room = 0;
        slot.scratch.reset(new unsigned char[room]);
        slot.room = room;
    }
    libdeflate_compressor* const compressor = slot.compressor(pieceLevel(slot, in, size, level));
    if (!compressor)
        throw std::bad_alloc();
    // Room for less than the input: a piece that does not shrink is stored.
    unsigned char* const packed = slot.scratch.get();
    const size_t made =
        size > 16 ? libdeflate_deflate_compress(compressor, in, size, packed, size - 16) : 0;
    if (whole) {
        if (made > 0) {
            out.assign(packed, packed + made);
        } else {
            appendStored(in, size, out);
            out.insert(out.end(), kStreamEnd, kStreamEnd + sizeof kStreamEnd);
        }
        return;
    }
    size_t lastStart, end;
    if (made == 0 || !findLastBlock(packed, made, lastStart, end)) {
        appendStored(in, size, out);
        return;
    }
    out.assign(packed, packed + (end + 7) / 8);
    out[lastStart >> 3] &= static_cast<unsigned char>(~(1u << (lastStart & 7)));
    if (end & 7)
        out.back() &= static_cast<unsigned char>((1u << (end & 7)) - 1);
    // An empty stored block: three header bits, padding, LEN 0, NLEN 0xFFFF.
    // A new byte is needed when the header bits do not fit in the last one.
    if ((end & 7) == 0 || (end & 7) > 5)
        out.push_back(0);
    const unsigned char empty[4] = {0, 0, 0xff, 0xff};
    out.insert(out.end(), empty, empty + 4);
}

bool PieceCompressor::compress(const unsigned char* data, size_t size, size_t pieces, int level,
                               unsigned threads, bool whole,
                               std::vector<std::vector<unsigned char>>& fragments) {
    std::lock_guard<std::mutex> call(callMutex_);
    pieces = std::max<size_t>(pieces, 1);
    whole = whole && pieces == 1;
    fragments.resize(pieces);
    const size_t step = (size + pieces - 1) / pieces;
    std::atomic<size_t> next{0};
    std::atomic<bool> ok{true};
    const Job job = [&](Slot& slot) {
        try {
            for (size_t i; (i = next++) < pieces;) {
                const size_t at = std::min(size, i * step);
                fragment(slot, data + at, std::min(step, size - at), level, whole, fragments[i]);
            }
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    };
    const size_t width = std::min({std::max<size_t>(threads, 1), slots_.size(), pieces});
    run(job, static_cast<unsigned>(width - 1));
    return ok;
}

void PieceCompressor::run(const Job& job, unsigned helpers) {
    if (helpers > 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (helpers_.size() < helpers) {
            try {
                helpers_.emplace_back(&PieceCompressor::helperLoop, this, helpers_.size());
            } catch (const std::system_error&) {
                break; // fewer helpers: the pieces still all get done
            }
        }
        active_ = std::min<size_t>(helpers, helpers_.size());
        busy_ = active_;
        job_ = &job;
        ++generation_;
        lock.unlock();
        wake_.notify_all();
    }
    job(*slots_[0]);
    if (helpers > 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return busy_ == 0; });
        job_ = nullptr;
    }
}

void PieceCompressor::helperLoop(size_t index) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_)
            return;
        seen = generation_;
        if (index >= active_)
            continue; // not needed for this batch
        const Job& job = *job_;
        lock.unlock();
        job(*slots_[index + 1]);
        lock.lock();
        if (--busy_ == 0)
            done_.notify_one();
    }
}

} // namespace zip

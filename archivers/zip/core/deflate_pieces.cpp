#include "deflate_pieces.h"

#include "deflate_encoder.h"
#include "deflate_format.h"
#include "huffman_lengths.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <libdeflate.h>
#include <new>
#include <system_error>

namespace zip {

namespace {

using deflate::kStoredMax;

// Level 9 looks at four samples of this size spread over a piece.
constexpr size_t kSample = 16384;

// pieceLevel's choice of our own encoder.
constexpr int kOwnEncoder = -1;

// Our encoder lets a piece's matches reach this far back into the piece before.
constexpr size_t kWindow = 32768;

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

// Reads a deflate stream's bits, least significant bit of each byte first.
// Past the end it reads zeros and counts them, so that a walk that runs over
// the end is found out by overrun().
class BitReader {
public:
    BitReader(const unsigned char* data, size_t size)
        : start_(data), at_(data), end_(data + size) {}

    uint32_t peek(unsigned n) {
        while (count_ < n) {
            uint64_t byte = 0;
            if (at_ < end_)
                byte = *at_++;
            else
                ++over_;
            bits_ |= byte << count_;
            count_ += 8;
        }
        return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    }
    void drop(unsigned n) {
        bits_ >>= n;
        count_ -= n;
    }
    uint32_t take(unsigned n) {
        const uint32_t v = peek(n);
        drop(n);
        return v;
    }
    void align() { drop(count_ % 8); }
    // Skips `n` whole bytes, starting byte-aligned; false past the end.
    bool skipBytes(size_t n) {
        for (; n > 0 && count_ >= 8; --n)
            drop(8);
        if (n > static_cast<size_t>(end_ - at_))
            return false;
        at_ += n;
        return true;
    }
    // The bits consumed so far.
    size_t position() const { return (static_cast<size_t>(at_ - start_) + over_) * 8 - count_; }
    bool overrun() const { return position() > static_cast<size_t>(end_ - start_) * 8; }

private:
    const unsigned char* start_;
    const unsigned char* at_;
    const unsigned char* end_;
    uint64_t bits_ = 0;
    unsigned count_ = 0;
    size_t over_ = 0;
};

// A canonical Huffman code as a table indexed by the next `bits` input bits
// (bit-reversed codes, as they arrive): symbol << 4 | code length, 0 where no
// code matches.
class Huffman {
public:
    // From the code lengths of `n` symbols; false when they over-subscribe.
    bool build(const unsigned char* lengths, unsigned n) {
        unsigned count[16] = {};
        for (unsigned i = 0; i < n; ++i)
            ++count[lengths[i]];
        count[0] = 0;
        bits_ = 0;
        int left = 1;
        for (unsigned len = 1; len < 16; ++len) {
            left = left * 2 - static_cast<int>(count[len]);
            if (left < 0)
                return false;
            if (count[len])
                bits_ = len;
        }
        uint16_t codes[320];
        huff::buildCanonicalCodes(lengths, static_cast<int>(n), codes);
        table_.assign(size_t{1} << bits_, 0);
        for (unsigned sym = 0; sym < n; ++sym) {
            const unsigned len = lengths[sym];
            if (len == 0)
                continue;
            const uint32_t reversed = lz::reverseBits(codes[sym], static_cast<int>(len));
            for (size_t j = reversed; j < table_.size(); j += size_t{1} << len)
                table_[j] = static_cast<uint16_t>(sym << 4 | len);
        }
        return true;
    }
    // The next symbol, or -1 when the input matches no code.
    int decode(BitReader& in) const {
        if (bits_ == 0)
            return -1;
        const uint16_t e = table_[in.peek(bits_)];
        if ((e & 15) == 0)
            return -1;
        in.drop(e & 15);
        return e >> 4;
    }

private:
    std::vector<uint16_t> table_;
    unsigned bits_ = 0;
};

// The fixed codes of block type 1.
void fixedCodes(Huffman& literals, Huffman& distances) {
    unsigned char lengths[deflate::kFixedLitLenSymbols];
    for (int i = 0; i < deflate::kFixedLitLenSymbols; ++i)
        lengths[i] = static_cast<unsigned char>(deflate::fixedLitLenBits(i));
    literals.build(lengths, deflate::kFixedLitLenSymbols);
    std::fill(lengths, lengths + deflate::kDistanceSymbols, deflate::kFixedDistanceBits);
    distances.build(lengths, deflate::kDistanceSymbols);
}

// The code descriptions at the start of a block of type 2.
bool dynamicCodes(BitReader& in, Huffman& literals, Huffman& distances, Huffman& lengthCode) {
    const unsigned nLiterals = in.take(5) + 257;
    const unsigned nDistances = in.take(5) + 1;
    const unsigned nLengths = in.take(4) + 4;
    unsigned char lengths[320] = {};
    for (unsigned i = 0; i < nLengths; ++i)
        lengths[deflate::kLengthCodeOrder[i]] = static_cast<unsigned char>(in.take(3));
    if (!lengthCode.build(lengths, deflate::kLengthCodeSymbols))
        return false;
    const unsigned n = nLiterals + nDistances;
    std::fill(lengths, lengths + deflate::kLengthCodeSymbols, 0);
    for (unsigned i = 0; i < n;) {
        const int sym = lengthCode.decode(in);
        if (sym < 0 || in.overrun())
            return false;
        if (sym < 16) {
            lengths[i++] = static_cast<unsigned char>(sym);
            continue;
        }
        unsigned char value = 0;
        unsigned repeat;
        if (sym == 16) {
            if (i == 0)
                return false;
            value = lengths[i - 1];
            repeat = 3 + in.take(2);
        } else {
            repeat = sym == 17 ? 3 + in.take(3) : 11 + in.take(7);
        }
        if (i + repeat > n)
            return false;
        std::fill(lengths + i, lengths + i + repeat, value);
        i += repeat;
    }
    return lengths[256] != 0 && literals.build(lengths, nLiterals) &&
           distances.build(lengths + nLiterals, nDistances);
}

// Walks a complete raw deflate stream block by block, decoding its codes but
// copying nothing, to find the bit where its last block starts and the bit
// where that block ends. False when the stream does not parse.
bool findLastBlock(const unsigned char* data, size_t size, size_t& lastStart, size_t& end) {
    BitReader in(data, size);
    Huffman literals, distances, lengthCode;
    for (;;) {
        const size_t start = in.position();
        const bool last = in.take(1) != 0;
        const unsigned type = in.take(2);
        if (type == 0) {
            in.align();
            const uint32_t length = in.take(16);
            if (length != (~in.take(16) & 0xffff) || !in.skipBytes(length))
                return false;
        } else if (type == 1 || type == 2) {
            if (type == 1)
                fixedCodes(literals, distances);
            else if (!dynamicCodes(in, literals, distances, lengthCode))
                return false;
            for (;;) {
                const int sym = literals.decode(in);
                if (sym < 0 || sym > 285 || in.overrun())
                    return false;
                if (sym < 256)
                    continue;
                if (sym == 256)
                    break;
                in.take(deflate::kLengthCodes.extraBits[sym - deflate::kFirstLengthSymbol]);
                const int distance = distances.decode(in);
                if (distance < 0 || distance > 29)
                    return false;
                in.take(static_cast<unsigned>(deflate::distanceExtraBits(distance)));
            }
        } else {
            return false;
        }
        if (in.overrun())
            return false;
        if (last) {
            lastStart = start;
            end = in.position();
            return true;
        }
    }
}

} // namespace

const unsigned char PieceCompressor::kStreamEnd[5] = {1, 0, 0, 0xff, 0xff};

PieceCompressor::Slot::Slot() = default;

PieceCompressor::Slot::~Slot() {
    for (libdeflate_compressor* c : compressors)
        libdeflate_free_compressor(c);
}

libdeflate_compressor* PieceCompressor::Slot::compressor(int level) {
    if (!compressors[level])
        compressors[level] = libdeflate_alloc_compressor(level);
    return compressors[level];
}

PieceCompressor::PieceCompressor(unsigned threads) : threads_(std::max(threads, 1u)) {
    slots_.reserve(threads_ - 1);
    for (unsigned i = 1; i < threads_; ++i)
        slots_.push_back(std::make_unique<Slot>());
    helpers_.reserve(threads_ - 1); // starting a helper never moves the others
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

unsigned PieceCompressor::defaultThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

PieceCompressor& PieceCompressor::shared() {
    static PieceCompressor instance(defaultThreads());
    return instance;
}

// Level 9's choice for one piece, from four samples spread over it: text (at
// most 1/8 of the sampled bytes are control characters other than tab, line
// feed, form feed and carriage return) takes our own encoder, which also makes
// short work of runs; otherwise long runs (the samples shrink below 1/16 at
// libdeflate's fastest level) take its lazy search (9), the rest its
// near-optimal parser (10).
int PieceCompressor::pieceLevel(Slot& slot, const unsigned char* in, size_t size, int level) {
    if (level < 9)
        return level;
    auto sample = [&](size_t k) { return in + size / 4 * k; };
    auto sampleSize = [&](size_t k) { return std::min(kSample, size - size / 4 * k); };
    size_t sampled = 0;
    size_t controls = 0;
    for (size_t k = 0; k < 4; ++k) {
        const unsigned char* const at = sample(k);
        const size_t n = sampleSize(k);
        for (size_t i = 0; i < n; ++i) {
            const unsigned char c = at[i];
            controls += c < 0x20 && c != '\t' && c != '\n' && c != '\f' && c != '\r';
        }
        sampled += n;
    }
    if (controls * 8 <= sampled)
        return kOwnEncoder;
    libdeflate_compressor* const fast = slot.compressor(1);
    if (!fast)
        throw std::bad_alloc();
    size_t packed = 0;
    for (size_t k = 0; k < 4; ++k) {
        const size_t n = sampleSize(k);
        const size_t made = libdeflate_deflate_compress(fast, sample(k), n, slot.scratch.get(), n);
        packed += made > 0 ? made : n;
    }
    return packed * 16 < sampled ? 9 : 10;
}

void PieceCompressor::fragment(Slot& slot, const unsigned char* in, size_t history, size_t size,
                               int level, bool whole, std::vector<unsigned char>& out) {
    const size_t room = std::max(size, kSample);
    if (slot.room < room) {
        slot.scratch.reset();
        slot.room = 0;
        slot.scratch.reset(new unsigned char[room]);
        slot.room = room;
    }
    // Room for less than the input: a piece that does not shrink (and one of
    // 16 bytes or less) is stored.
    unsigned char* const packed = slot.scratch.get();
    const int chosen = size > 16 ? pieceLevel(slot, in, size, level) : 0;
    size_t made = 0;
    if (chosen == kOwnEncoder) {
        if (!slot.own)
            slot.own = std::make_unique<DeflateEncoder>();
        made = slot.own->compress(in, history, size, packed, size - 16, whole);
    } else if (chosen > 0) {
        libdeflate_compressor* const compressor = slot.compressor(chosen);
        if (!compressor)
            throw std::bad_alloc();
        made = libdeflate_deflate_compress(compressor, in, size, packed, size - 16);
    }
    // Our encoder makes fragments itself; libdeflate's streams are cut below.
    if (made > 0 && (whole || chosen == kOwnEncoder)) {
        out.assign(packed, packed + made);
        return;
    }
    size_t lastStart, end;
    if (made == 0 || !findLastBlock(packed, made, lastStart, end)) {
        appendStored(in, size, out);
        if (whole)
            out.insert(out.end(), kStreamEnd, kStreamEnd + sizeof kStreamEnd);
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
                fragment(slot, data + at, std::min(at, kWindow), std::min(step, size - at), level,
                         whole, fragments[i]);
            }
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    };
    std::unique_ptr<Slot> slot;
    {
        std::lock_guard<std::mutex> lock(spareMutex_);
        if (!spare_.empty()) {
            slot = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    if (!slot)
        slot = std::make_unique<Slot>();
    const size_t width = std::min({std::max<size_t>(threads, 1), size_t{threads_}, pieces});
    if (width > 1) {
        std::lock_guard<std::mutex> call(callMutex_);
        run(job, static_cast<unsigned>(width - 1), *slot);
    } else {
        job(*slot);
    }
    std::lock_guard<std::mutex> lock(spareMutex_);
    spare_.push_back(std::move(slot));
    return ok;
}

void PieceCompressor::run(const Job& job, unsigned helpers, Slot& own) {
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
    job(own);
    lock.lock();
    done_.wait(lock, [this] { return busy_ == 0; });
    job_ = nullptr;
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
        job(*slots_[index]);
        lock.lock();
        if (--busy_ == 0)
            done_.notify_one();
    }
}

} // namespace zip

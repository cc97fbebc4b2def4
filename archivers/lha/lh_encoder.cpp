// The streaming side of the LZH encoder: input is gathered into segments, each
// segment is parsed (lh_parse_*.cpp) and written as blocks (lh_block.cpp), and
// the segments' bit streams are joined into one.
#include "lh_codec.h"

#include "huge_pages.h"
#include "lh_bits.h"
#include "lh_block.h"
#include "lh_parse.h"
#include "lz_anchors.h"
#include "lz_sparse.h"
#include "noise.h"
#include "results.h"
#include "worker_pool.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace lha {

namespace {

constexpr size_t kSegmentBytes = 1 << 20;
// A stock keeps segments that held at most this much text (history
// included), and at most kStockedSegments of them.
constexpr size_t kStockedText = 256 << 10;
constexpr size_t kStockedSegments = 8;
// Shorter repeats in noise are left as bytes.
constexpr size_t kMinRepeat = 16;

// Joins a segment's bytes onto the `shift` bits (1-7) a segment before left
// in a partial byte: each byte takes the bits carried and gives its own low
// `shift` bits to the next, eight bytes at a time, then the rest byte by byte.
// Returns the bits left over, which start the next partial byte.
uint32_t shiftInto(BitWriter::Bytes& bytes, uint32_t carried, int shift) {
    size_t i = 0;
    uint64_t wide = carried;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes.data() + i, 8);
        w = __builtin_bswap64(w);
        const uint64_t joined = wide << (64 - shift) | w >> shift;
        wide = w & ((uint64_t{1} << shift) - 1);
        w = __builtin_bswap64(joined);
        std::memcpy(bytes.data() + i, &w, 8);
    }
    uint32_t carry = static_cast<uint32_t>(wide);
    for (; i < bytes.size(); ++i) {
        const uint32_t b = bytes[i];
        bytes[i] = static_cast<uint8_t>((carry << (8 - shift)) | (b >> shift));
        carry = b & ((1u << shift) - 1);
    }
    return carry;
}

} // namespace

// One segment of input with the window of text before it, and its output.
// Its buffers grow with what it is given and are kept for the next segment.
struct LhEncoder::Segment {
    int parsersWindow = 0;        // the window bits of the parsers made
    arc::HugeVector<uint8_t> buf; // history, then the segment's own bytes
    // The caller's bytes, parsed where they are (LhEncoder::encode), in place
    // of buf's.
    const uint8_t* outside = nullptr;
    size_t outsideSize = 0;
    size_t largest = 0; // the most text the segment has held
    size_t history = 0;
    lz::Symbols symbols;
    BitWriter out;
    LastBlock lastBlock;
    std::vector<uint32_t> blockCounts; // the block writer's counts at steps
    std::unique_ptr<ChainParser> chains;
    std::unique_ptr<OptimalParser> optimal;
    std::unique_ptr<lz::SparseParser> sparse;

    const uint8_t* text() const { return outside ? outside : buf.data(); }
    size_t size() const { return outside ? outsideSize : buf.size(); }
    size_t own() const { return size() - history; }

    void encode(int windowBits, LhLevel level) {
        // A segment taken over from another encoder may have parsers of
        // another window.
        if (windowBits != parsersWindow) {
            chains.reset();
            optimal.reset();
            sparse.reset();
            parsersWindow = windowBits;
        }
        // Room for the most symbols the parse can give (one per byte) and for
        // about as many bytes out as in, set aside at once rather than grown
        // step by step: every step copies what the vector held and, in a new
        // allocation, costs its pages again.
        symbols.clear();
        out.clear();
        symbols.reserve(own());
        out.reserve(own());
        largest = std::max(largest, size());
        const uint8_t* const b = text();
        const arc::Shrinkage shrinkage = arc::estimateShrinkage(b + history, own());
        Cut cut = Cut::Halves;
        if (shrinkage.searchless) {
            if (!noiseSymbols(windowBits)) {
                writeByteBlocks(out, b + history, own(), windowBits, lastBlock);
                return;
            }
            cut = Cut::Even;
        } else if (level == LhLevel::Maximum) {
            if (!optimal)
                optimal = std::make_unique<OptimalParser>(windowBits);
            optimal->parse(b, history, size(), symbols);
        } else if (shrinkage.little) {
            sparseSymbols(windowBits);
        } else {
            if (!chains)
                chains = std::make_unique<ChainParser>(windowBits);
            chains->parse(b, history, size(), symbols);
        }
        writeBlocks(out, symbols.data(), symbols.size(), windowBits, lastBlock, blockCounts, cut);
    }

    // Bytes that are nearly noise are parsed by the quick search of
    // lz_sparse.h, which finds their few matches at a fraction of the cost of
    // the chains.
    void sparseSymbols(int windowBits) {
        if (!sparse)
            sparse = std::make_unique<lz::SparseParser>(windowBits, kMaxMatch);
        sparse->parse(text(), history, size(), symbols);
    }

    // Bytes that look like noise hold next to no short matches: they are
    // coded as they come, without a search, but for the long repeats found
    // among them (lz_anchors.h). Without such repeats there are no symbols to
    // make: false, and the bytes are written as they are (writeByteBlocks).
    bool noiseSymbols(int windowBits) {
        std::vector<lz::LongMatch> repeats;
        const uint8_t* const b = text();
        lz::findLongMatches(b, history, size(), (size_t{1} << windowBits) - 1, kMinRepeat, repeats);
        if (repeats.empty())
            return false;
        size_t at = history;
        // Bytes are their own symbols (lz_symbols.h).
        for (const lz::LongMatch& r : repeats) {
            lz::appendLiterals(symbols, b + at, r.at - at);
            for (size_t left = r.length; left > 0;) {
                size_t take = std::min<size_t>(left, kMaxMatch);
                if (left - take > 0 && left - take < static_cast<size_t>(kMinMatch))
                    take =
                        left - static_cast<size_t>(kMinMatch); // leave a whole match for the rest
                symbols.push_back(
                    matchSymbol(static_cast<int>(take), static_cast<uint32_t>(r.distance)));
                left -= take;
            }
            at = r.at + r.length;
        }
        lz::appendLiterals(symbols, b + at, size() - at);
        return true;
    }
};

SegmentStock::SegmentStock() = default;
SegmentStock::~SegmentStock() = default;

LhEncoder::LhEncoder(int windowBits, ByteSink sink, LhLevel level, unsigned width,
                     SegmentStock* stock)
    : windowBits_(windowBits), sink_(std::move(sink)), level_(level), width_(std::max(width, 1u)),
      stock_(stock) {}

LhEncoder::~LhEncoder() {
    if (!stock_)
        return;
    const std::lock_guard<std::mutex> lock(stock_->mutex_);
    for (std::unique_ptr<Segment>& seg : segments_)
        if (seg->largest <= kStockedText && stock_->spare_.size() < kStockedSegments)
            stock_->spare_.push_back({std::this_thread::get_id(), std::move(seg)});
}

std::unique_ptr<LhEncoder::Segment> LhEncoder::newSegment() {
    if (stock_) {
        const std::lock_guard<std::mutex> lock(stock_->mutex_);
        auto& spare = stock_->spare_;
        const auto mine = std::find_if(spare.rbegin(), spare.rend(), [](const auto& s) {
            return s.giver == std::this_thread::get_id();
        });
        if (mine != spare.rend()) {
            std::unique_ptr<Segment> seg = std::move(mine->segment);
            spare.erase(std::next(mine).base());
            return seg;
        }
    }
    return std::make_unique<Segment>();
}

int LhEncoder::emit(const uint8_t* bytes, size_t size) {
    if (size == 0)
        return arc::kOk;
    outBytes_ += size;
    return sink_(bytes, size);
}

int LhEncoder::write(const uint8_t* data, size_t size) {
    const size_t window = size_t{1} << windowBits_;
    // One segment a thread is filled before they are compressed together, so
    // that memory (several MiB a segment, its parser included) grows no more
    // than the threads do.
    const size_t held = width_;
    while (size > 0) {
        Segment* seg = filled_ ? segments_[filled_ - 1].get() : nullptr;
        if (!seg || seg->own() == kSegmentBytes) {
            if (filled_ == held) {
                int rc = encodePending(false);
                if (rc != arc::kOk)
                    return rc;
                seg = nullptr; // its text is in history_ now
            }
            if (segments_.size() == filled_)
                segments_.push_back(newSegment());
            Segment* next = segments_[filled_].get();
            // The new segment's history is the window of text before it.
            const uint8_t* histSrc = seg ? seg->buf.data() : history_.data();
            const size_t histLen = seg ? seg->buf.size() : history_.size();
            const size_t keep = std::min(window, histLen);
            next->outside = nullptr;
            next->buf.clear();
            arc::appendTo(next->buf, histSrc + histLen - keep, keep);
            next->history = keep;
            ++filled_;
            seg = next;
        }
        const size_t take = std::min(kSegmentBytes - seg->own(), size);
        arc::appendTo(seg->buf, data, take);
        data += take;
        size -= take;
    }
    return arc::kOk;
}

int LhEncoder::encodePending(bool last) {
    if (filled_ == 0)
        return arc::kOk;
    // The pool's threads take the segments in turn. Running out of memory on
    // any ends the member with an error, never the process.
    try {
        arc::WorkerPool::shared().run(
            filled_, width_, [this](size_t i) { segments_[i]->encode(windowBits_, level_); });
    } catch (const std::bad_alloc&) {
        return arc::kErrNoMemory;
    }
    for (size_t i = 0; i < filled_; ++i) {
        Segment& seg = *segments_[i];
        if (last && i + 1 == filled_)
            avoidAlignedEnd(seg.out, windowBits_, tailCount_, seg.lastBlock);
        BitWriter::Bytes& bytes = seg.out.bytes();
        if (tailCount_ > 0)
            tailBits_ = shiftInto(bytes, tailBits_, tailCount_);
        int rc = emit(bytes.data(), bytes.size());
        if (rc != arc::kOk)
            return rc;
        // Append the segment's own partial byte to the carried bits.
        tailBits_ = (tailBits_ << seg.out.tailCount()) | seg.out.tail();
        tailCount_ += seg.out.tailCount();
        if (tailCount_ >= 8) {
            tailCount_ -= 8;
            const uint8_t one = static_cast<uint8_t>(tailBits_ >> tailCount_);
            tailBits_ &= (1u << tailCount_) - 1;
            rc = emit(&one, 1);
            if (rc != arc::kOk)
                return rc;
        }
    }
    // The next segment's history is the window of text before it.
    if (!last) {
        const Segment& lastSeg = *segments_[filled_ - 1];
        const size_t keep = std::min(size_t{1} << windowBits_, lastSeg.size());
        const uint8_t* const end = lastSeg.text() + lastSeg.size();
        history_.assign(end - keep, end);
    }
    filled_ = 0;
    if (last && tailCount_ > 0) {
        const uint8_t end = static_cast<uint8_t>(tailBits_ << (8 - tailCount_));
        tailCount_ = 0;
        tailBits_ = 0;
        return emit(&end, 1);
    }
    return arc::kOk;
}

int LhEncoder::finish() {
    return encodePending(true);
}

int LhEncoder::encode(const uint8_t* data, size_t size) {
    if (filled_ > 0 || outBytes_ > 0 || size == 0 || size > kSegmentBytes) {
        const int rc = write(data, size);
        return rc == arc::kOk ? finish() : rc;
    }
    if (segments_.empty())
        segments_.push_back(newSegment());
    Segment& seg = *segments_[0];
    seg.buf.clear();
    seg.history = 0;
    seg.outside = data;
    seg.outsideSize = size;
    filled_ = 1;
    const int rc = finish();
    seg.outside = nullptr; // the caller's bytes are theirs again
    return rc;
}

} // namespace lha

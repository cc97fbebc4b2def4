// The streaming side of the LZH encoder: input is gathered into segments, each
// segment is parsed (lh_parse_*.cpp) and written as blocks (lh_block.cpp), and
// the segments' bit streams are joined into one.
#include "lh_codec.h"

#include "lh_bits.h"
#include "lh_block.h"
#include "lh_parse.h"
#include "results.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>

namespace lha {

namespace {

constexpr size_t kSegmentBytes = 1 << 20;
constexpr size_t kSegmentsHeldAtMaximum = 4; // filled before they are compressed together

} // namespace

int windowBitsOfMethod(char methodDigit) {
    switch (methodDigit) {
    case '5':
        return 13;
    case '6':
        return 15;
    case '7':
        return 16;
    default:
        return 0;
    }
}

// One segment of input with the window of text before it, and its output.
// Its buffers grow with what it is given and are kept for the next segment.
struct LhEncoder::Segment {
    std::vector<uint8_t> buf; // history, then the segment's own bytes
    size_t history = 0;
    std::vector<uint32_t> symbols;
    BitWriter out;
    LastBlock lastBlock;
    std::unique_ptr<ChainParser> chains;
    std::unique_ptr<OptimalParser> optimal;

    size_t own() const { return buf.size() - history; }

    void encode(int windowBits, LhLevel level) {
        // Room for the most symbols the parse can give (one per byte) and for
        // about as many bytes out as in, set aside at once rather than grown
        // step by step: every step copies what the vector held and, in a new
        // allocation, costs its pages again.
        symbols.clear();
        symbols.reserve(own());
        out.clear();
        out.bytes().reserve(own());
        if (level == LhLevel::Maximum) {
            if (!optimal)
                optimal = std::make_unique<OptimalParser>(windowBits);
            optimal->parse(buf.data(), history, buf.size(), symbols);
        } else {
            if (!chains)
                chains = std::make_unique<ChainParser>(windowBits);
            chains->parse(buf.data(), history, buf.size(), symbols);
        }
        writeBlocks(out, symbols.data(), symbols.size(), windowBits, lastBlock);
    }
};

LhEncoder::LhEncoder(int windowBits, ByteSink sink, LhLevel level)
    : windowBits_(windowBits), sink_(std::move(sink)), level_(level) {}

LhEncoder::~LhEncoder() = default;

int LhEncoder::emit(const std::vector<uint8_t>& bytes) {
    if (bytes.empty())
        return arc::kOk;
    outBytes_ += bytes.size();
    return sink_(bytes.data(), bytes.size());
}

int LhEncoder::write(const uint8_t* data, size_t size) {
    const size_t window = size_t{1} << windowBits_;
    const size_t held = level_ == LhLevel::Maximum ? kSegmentsHeldAtMaximum : 1;
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
                segments_.push_back(std::make_unique<Segment>());
            Segment* next = segments_[filled_].get();
            // The new segment's history is the window of text before it.
            const uint8_t* histSrc = seg ? seg->buf.data() : history_.data();
            const size_t histLen = seg ? seg->buf.size() : history_.size();
            const size_t keep = std::min(window, histLen);
            next->buf.clear();
            next->buf.insert(next->buf.end(), histSrc + histLen - keep, histSrc + histLen);
            next->history = keep;
            ++filled_;
            seg = next;
        }
        const size_t take = std::min(kSegmentBytes - seg->own(), size);
        seg->buf.insert(seg->buf.end(), data, data + take);
        data += take;
        size -= take;
    }
    return arc::kOk;
}

int LhEncoder::encodePending(bool last) {
    if (filled_ == 0)
        return arc::kOk;
    if (filled_ == 1) {
        segments_[0]->encode(windowBits_, level_);
    } else {
        // Two threads take the segments in turn, so that one that compresses
        // slowly does not leave the other core idle. Running out of memory on
        // either ends the member with an error, never the process.
        std::atomic<size_t> next{0};
        std::atomic<bool> outOfMemory{false};
        auto work = [&] {
            try {
                for (size_t i; (i = next.fetch_add(1)) < filled_;)
                    segments_[i]->encode(windowBits_, level_);
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
                next = filled_;
            }
        };
        std::thread worker(work);
        work();
        worker.join();
        if (outOfMemory)
            return arc::kErrNoMemory;
    }
    for (size_t i = 0; i < filled_; ++i) {
        Segment& seg = *segments_[i];
        if (last && i + 1 == filled_)
            avoidAlignedEnd(seg.out, windowBits_, tailCount_, seg.lastBlock);
        std::vector<uint8_t>& bytes = seg.out.bytes();
        int rc;
        if (tailCount_ == 0) {
            rc = emit(bytes);
        } else {
            // Join the segment's bits onto the partial byte left by the one before.
            const int shift = tailCount_;
            uint32_t carry = tailBits_;
            for (auto& byte : bytes) {
                uint32_t b = byte;
                byte = static_cast<uint8_t>((carry << (8 - shift)) | (b >> shift));
                carry = b & ((1u << shift) - 1);
            }
            rc = emit(bytes);
            tailBits_ = carry;
        }
        if (rc != arc::kOk)
            return rc;
        // Append the segment's own partial byte to the carried bits.
        tailBits_ = (tailBits_ << seg.out.tailCount()) | seg.out.tail();
        tailCount_ += seg.out.tailCount();
        if (tailCount_ >= 8) {
            tailCount_ -= 8;
            std::vector<uint8_t> one{static_cast<uint8_t>(tailBits_ >> tailCount_)};
            tailBits_ &= (1u << tailCount_) - 1;
            rc = emit(one);
            if (rc != arc::kOk)
                return rc;
        }
    }
    const Segment& lastSeg = *segments_[filled_ - 1];
    const size_t keep = std::min(size_t{1} << windowBits_, lastSeg.buf.size());
    history_.assign(lastSeg.buf.end() - static_cast<long>(keep), lastSeg.buf.end());
    filled_ = 0;
    if (last && tailCount_ > 0) {
        std::vector<uint8_t> end{static_cast<uint8_t>(tailBits_ << (8 - tailCount_))};
        tailCount_ = 0;
        tailBits_ = 0;
        return emit(end);
    }
    return arc::kOk;
}

int LhEncoder::finish() {
    return encodePending(true);
}

} // namespace lha

// The LZSS + static Huffman coding of the -lh5-, -lh6- and -lh7- methods.
//
// The compressed stream is a sequence of blocks. Each block starts with a 16-bit
// count of the symbols it holds, then three code-length tables (the table that
// codes the literal/length code lengths, the literal/length table of 510 symbols
// and the position table), then the symbols themselves. Literal/length symbols
// 0-255 are bytes, 256-509 are matches of length 3-256; each match is followed by
// a position symbol p giving the bit length of distance-1 and then p-1 extra bits.
// The three methods differ only in the window: 8 KiB (-lh5-), 32 KiB (-lh6-) and
// 64 KiB (-lh7-), with 14, 16 and 17 position symbols. Bits are written from the
// most significant end of each byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lha {

// Receives output bytes; returns arc::kOk or an error code that stops the work.
using ByteSink = std::function<int(const uint8_t* data, size_t size)>;
// Supplies input bytes; returns the count (0 at the end) or -1 on a read error.
using ByteSource = std::function<long long(uint8_t* data, size_t size)>;

// How hard the encoder works: the default parse over hash chains, or the
// optimal parse of the maximum level (1-4 % smaller, about four times the CPU
// time).
enum class LhLevel { Default, Maximum };

// Streams bytes in, compressed bytes out through the sink. Memory is fixed by the
// window and the segment size, whatever the input length, and a short input
// costs only what it holds. Input is cut into segments of 1 MiB; each segment is
// parsed with the window of text before it as history, so that the output is
// the same however many segments are compressed at once. With a width above
// one, a segment a thread is held and they are compressed side by side on the
// module's worker pool. A segment whose bytes look like noise (noise.h)
// is coded byte by byte, without a match search; at the default level, one
// that is nearly noise (it would shrink but little: noise.h) is parsed by
// the quick search of lz_sparse.h.
// Encoders that take a SegmentStock take their segments from it and give them
// back when they end.
class SegmentStock;
class LhEncoder {
public:
    LhEncoder(int windowBits, ByteSink sink, LhLevel level = LhLevel::Default, unsigned width = 1,
              SegmentStock* stock = nullptr);
    ~LhEncoder();
    LhEncoder(const LhEncoder&) = delete;
    LhEncoder& operator=(const LhEncoder&) = delete;

    // Returns kOk, the sink's error, or kErrNoMemory when memory ran out.
    int write(const uint8_t* data, size_t size);
    // Encodes what is left and flushes the last partial byte.
    int finish();
    // write() of all the input at once, then finish(); input of one segment
    // is parsed where it is, not copied.
    int encode(const uint8_t* data, size_t size);
    // Compressed bytes handed to the sink so far.
    uint64_t outputSize() const { return outBytes_; }

    struct Segment;

private:
    int encodePending(bool last);
    int emit(const uint8_t* bytes, size_t size);
    std::unique_ptr<Segment> newSegment();

    int windowBits_;
    ByteSink sink_;
    LhLevel level_;
    unsigned width_; // threads that compress segments at once
    SegmentStock* stock_;
    std::vector<uint8_t> history_;
    std::vector<std::unique_ptr<Segment>> segments_;
    size_t filled_ = 0; // segments holding data (the last may be partly filled)
    uint64_t outBytes_ = 0;
    uint32_t tailBits_ = 0; // bits of a partial byte carried between segments
    int tailCount_ = 0;
};

// The segments (buffers and parsers) of encoders that have ended, for the
// encoders after them: many small members compressed one after another then
// allocate and first touch them a few times in all instead of once each. Only
// segments of small members are kept, as many as encoders run at once; they
// are freed with the stock. Encoders on several threads may share one; a
// thread takes back the segments it gave, which its core's caches still hold.
class SegmentStock {
public:
    SegmentStock();
    ~SegmentStock();
    SegmentStock(const SegmentStock&) = delete;
    SegmentStock& operator=(const SegmentStock&) = delete;

private:
    friend class LhEncoder;
    struct Spare {
        std::thread::id giver;
        std::unique_ptr<LhEncoder::Segment> segment;
    };
    std::mutex mutex_;
    std::vector<Spare> spare_;
};

// Decodes one member's compressed data. The source is read until `outputSize`
// bytes have been produced; at most `inputSize` bytes are taken from it.
// Returns kOk, kErrBadData for damaged data, or the sink's or source's error.
int lhDecode(int windowBits, uint64_t inputSize, uint64_t outputSize, const ByteSource& source,
             const ByteSink& sink);

} // namespace lha

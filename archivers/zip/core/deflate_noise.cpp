#include "deflate_noise.h"

#include "deflate_format.h"
#include "deflate_walk.h"
#include "lz_anchors.h"

#include <algorithm>
#include <cstdint>

namespace zip::deflate {

namespace {

// Shorter repeats than this do not pay for the blocks around them.
constexpr size_t kMinRepeat = 32;

// Writes bits least significant first, as deflate stores them.
class Bits {
public:
    explicit Bits(Bytes& out) : out_(out) {}
    void put(uint32_t value, int bits) {
        acc_ |= static_cast<uint64_t>(value) << count_;
        count_ += bits;
        while (count_ >= 8) {
            out_.push_back(static_cast<unsigned char>(acc_));
            acc_ >>= 8;
            count_ -= 8;
        }
    }
    // A Huffman code goes out most significant bit first.
    void code(uint32_t code, int bits) { put(lz::reverseBits(code, bits), bits); }
    // Pads to the next byte boundary.
    void align() {
        if (count_ > 0)
            put(0, 8 - count_);
    }

private:
    Bytes& out_;
    uint64_t acc_ = 0;
    int count_ = 0;
};

void fixedLiteral(Bits& bits, unsigned char b) {
    if (b < 144)
        bits.code(0x30u + b, 8);
    else
        bits.code(0x190u + (b - 144u), 9);
}

void fixedMatch(Bits& bits, int length, uint32_t distance) {
    const int c = kLengthCodes.code[length];
    const int sym = kFirstLengthSymbol + c;
    if (sym < 280)
        bits.code(static_cast<uint32_t>(sym - 256), 7);
    else
        bits.code(static_cast<uint32_t>(0xC0 + sym - 280), 8);
    bits.put(static_cast<uint32_t>(length - kLengthCodes.base[c]), kLengthCodes.extraBits[c]);
    const int d = distanceCode(distance - 1);
    bits.code(static_cast<uint32_t>(d), kFixedDistanceBits);
    bits.put(distance - 1 - distanceBase(d), distanceExtraBits(d));
}

// One block of the fixed code holding the repeat, then the header of the
// stored block that follows, up to the byte boundary its length starts at.
void repeatBlock(Bytes& out, const unsigned char* at, size_t length, uint32_t distance) {
    Bits bits(out);
    bits.put(2, 3); // not final, fixed codes
    while (length >= static_cast<size_t>(kMinMatch)) {
        size_t take = std::min<size_t>(length, kMaxMatch);
        if (length - take > 0 && length - take < static_cast<size_t>(kMinMatch))
            take = length - static_cast<size_t>(kMinMatch); // leave a whole match for the rest
        fixedMatch(bits, static_cast<int>(take), distance);
        at += take;
        length -= take;
    }
    for (; length > 0; --length)
        fixedLiteral(bits, *at++);
    bits.code(0, 7); // end of block
    bits.put(0, 3);  // not final, stored
    bits.align();
}

// Stored blocks whose first header (the three bits and the padding) is
// written already: the lengths and bytes of the first, then whole blocks.
void storedAfterHeader(Bytes& out, const unsigned char* in, size_t size, InputRefs* refs) {
    const size_t n = std::min(size, kStoredMax);
    const unsigned char lengths[4] = {
        static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
        static_cast<unsigned char>(~n), static_cast<unsigned char>(~n >> 8)};
    arc::appendTo(out, lengths, 4);
    appendStoredBytes(in, n, out, refs);
    if (size > n)
        appendStored(in + n, size - n, out, refs);
}

} // namespace

void appendNoise(const unsigned char* data, size_t history, size_t size, Bytes& out,
                 InputRefs* refs) {
    std::vector<lz::LongMatch> repeats;
    lz::findLongMatches(data, history, history + size, kWindow, kMinRepeat, repeats);
    // Room for the bytes stored: a repeat takes less than the bytes it stands
    // for (kMinRepeat and more), the block headers around it included.
    if (!refs)
        arc::reserveFor(out, out.size() + size + (size / kStoredMax + 2) * 5);
    size_t at = history;
    bool headerWritten = false; // a repeat block wrote the next stored block's header
    for (const lz::LongMatch& r : repeats) {
        if (headerWritten)
            storedAfterHeader(out, data + at, r.at - at, refs);
        else if (r.at > at)
            appendStored(data + at, r.at - at, out, refs);
        repeatBlock(out, data + r.at, r.length, static_cast<uint32_t>(r.distance));
        headerWritten = true;
        at = r.at + r.length;
    }
    const size_t end = history + size;
    if (headerWritten)
        storedAfterHeader(out, data + at, end - at, refs);
    else if (end > at)
        appendStored(data + at, end - at, out, refs);
}

} // namespace zip::deflate

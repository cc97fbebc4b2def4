#include "deflate_walk.h"

#include "deflate_format.h"
#include "huffman_lengths.h"
#include "lz_symbols.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zip::deflate {

namespace {

// Reads a deflate stream's bits, least significant bit of each byte first.
// Past the end it reads zeros and counts them, so that a walk that runs over
// the end is found out by overrun().
class BitReader {
public:
    BitReader(const unsigned char* data, size_t size)
        : start_(data), at_(data), end_(data + size) {}

    uint32_t peek(unsigned n) {
        if (count_ < n && end_ - at_ >= 8) {
            // Whole bytes up to 56 bits or more at once. The bits above
            // count_ are those of the bytes that follow, so that a later
            // refill puts the same bits there again.
            uint64_t word;
            std::memcpy(&word, at_, 8); // little-endian machines only, as the rest of the module
            bits_ |= word << count_;
            const unsigned bytes = (63 - count_) / 8;
            at_ += bytes;
            count_ += bytes * 8;
        }
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
        bits_ &= (uint64_t{1} << count_) - 1; // the bits read ahead are not those after the skip
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
    unsigned char lengths[kFixedLitLenSymbols];
    for (int i = 0; i < kFixedLitLenSymbols; ++i)
        lengths[i] = static_cast<unsigned char>(fixedLitLenBits(i));
    literals.build(lengths, kFixedLitLenSymbols);
    std::fill(lengths, lengths + kDistanceSymbols, kFixedDistanceBits);
    distances.build(lengths, kDistanceSymbols);
}

// The code descriptions at the start of a block of type 2.
bool dynamicCodes(BitReader& in, Huffman& literals, Huffman& distances, Huffman& lengthCode) {
    const unsigned nLiterals = in.take(5) + 257;
    const unsigned nDistances = in.take(5) + 1;
    const unsigned nLengths = in.take(4) + 4;
    unsigned char lengths[320] = {};
    for (unsigned i = 0; i < nLengths; ++i)
        lengths[kLengthCodeOrder[i]] = static_cast<unsigned char>(in.take(3));
    if (!lengthCode.build(lengths, kLengthCodeSymbols))
        return false;
    const unsigned n = nLiterals + nDistances;
    std::fill(lengths, lengths + kLengthCodeSymbols, 0);
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

} // namespace

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
                in.take(kLengthCodes.extraBits[sym - kFirstLengthSymbol]);
                const int distance = distances.decode(in);
                if (distance < 0 || distance > 29)
                    return false;
                in.take(static_cast<unsigned>(distanceExtraBits(distance)));
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

void appendStored(const unsigned char* in, size_t size, Bytes& out, InputRefs* refs) {
    arc::reserveFor(out, out.size() + (refs ? 0 : size) + (size / kStoredMax + 1) * 5);
    do {
        const size_t n = std::min(size, kStoredMax);
        const unsigned char header[5] = {
            0, static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
            static_cast<unsigned char>(~n), static_cast<unsigned char>(~n >> 8)};
        arc::appendTo(out, header, 5);
        appendStoredBytes(in, n, out, refs);
        in += n;
        size -= n;
    } while (size > 0);
}

void appendStoredBytes(const unsigned char* in, size_t n, Bytes& out, InputRefs* refs) {
    if (!refs)
        arc::appendTo(out, in, n);
    else if (n > 0)
        refs->push_back({out.size(), in, n});
}

bool appendFragment(const unsigned char* data, size_t size, Bytes& out) {
    size_t lastStart, end;
    if (!findLastBlock(data, size, lastStart, end))
        return false;
    const size_t at = out.size();
    arc::appendTo(out, data, (end + 7) / 8);
    out[at + (lastStart >> 3)] &= static_cast<unsigned char>(~(1u << (lastStart & 7)));
    if (end & 7)
        out.back() &= static_cast<unsigned char>((1u << (end & 7)) - 1);
    // An empty stored block: three header bits, padding, LEN 0, NLEN 0xFFFF.
    // A new byte is needed when the header bits do not fit in the last one.
    if ((end & 7) == 0 || (end & 7) > 5)
        out.push_back(0);
    const unsigned char empty[4] = {0, 0, 0xff, 0xff};
    arc::appendTo(out, empty, 4);
    return true;
}

} // namespace zip::deflate

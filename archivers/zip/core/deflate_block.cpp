#include "deflate_block.h"

#include "deflate_format.h"
#include "huffman_lengths.h"
#include "step_counts.h"

#include <algorithm>
#include <vector>

namespace zip::deflate {

namespace {

constexpr int kMaxCodeBits = 15;      // literal/length and distance codes
constexpr int kMaxLengthCodeBits = 7; // the code that codes the code lengths
constexpr size_t kMinSplitSymbols = 1024;

struct Frequencies {
    uint32_t lit[kLitLenSymbols];
    uint32_t dist[kDistanceSymbols];
    uint64_t bytes;     // of text the symbols stand for
    uint64_t extraBits; // of the length and distance codes
};

void addRange(const uint32_t* sym, size_t n, Frequencies& f) {
    // The matches add their lengths to f.bytes as they are met; the bytes
    // are added once counted.
    const uint64_t bytes = lz::countSymbols(sym, n, f.lit, [&f](uint32_t s) {
        const int length = matchLength(s);
        const int lc = kLengthCodes.code[length];
        const int dc = distanceCode(s >> 9);
        ++f.lit[kFirstLengthSymbol + lc];
        ++f.dist[dc];
        f.bytes += static_cast<uint64_t>(length);
        f.extraBits += kLengthCodes.extraBits[lc] + static_cast<uint64_t>(distanceExtraBits(dc));
    });
    f.bytes += bytes;
}

void countRange(const uint32_t* sym, size_t n, Frequencies& f) {
    std::memset(&f, 0, sizeof f);
    f.lit[kEndOfBlock] = 1;
    addRange(sym, n, f);
}

Frequencies difference(const Frequencies& whole, const Frequencies& part) {
    Frequencies f;
    for (int i = 0; i < kLitLenSymbols; ++i)
        f.lit[i] = whole.lit[i] - part.lit[i];
    f.lit[kEndOfBlock] = 1;
    for (int i = 0; i < kDistanceSymbols; ++i)
        f.dist[i] = whole.dist[i] - part.dist[i];
    f.bytes = whole.bytes - part.bytes;
    f.extraBits = whole.extraBits - part.extraBits;
    return f;
}

using RunCounts = arc::StepCounts<Frequencies, uint64_t>;

// A code: lengths and the codes themselves, bit-reversed as they are sent.
struct Code {
    uint8_t len[kFixedLitLenSymbols];
    uint16_t bits[kFixedLitLenSymbols];
};

// Deflate sends a code's bits from its first, which the writer, filling each
// byte from its lowest bit, takes as the code reversed.
void canonicalCodes(Code& c, int n) {
    huff::buildCanonicalCodes(c.len, n, c.bits);
    for (int i = 0; i < n; ++i)
        c.bits[i] = static_cast<uint16_t>(lz::reverseBits(c.bits[i], c.len[i]));
}

// Lengths for a code of `n` symbols. Every reader takes a complete code of two
// symbols or more; when fewer occur, the first unused ones are given a count.
void codeLengths(const uint32_t* freq, int n, int limit, uint8_t* len) {
    uint32_t f[kLitLenSymbols];
    std::copy(freq, freq + n, f);
    int used = static_cast<int>(std::count_if(f, f + n, [](uint32_t v) { return v != 0; }));
    for (int i = 0; i < n && used < 2; ++i)
        if (f[i] == 0) {
            f[i] = 1;
            ++used;
        }
    huff::buildCodeLengths(f, n, limit, len);
}

// A dynamic block's codes and the run-length coded lengths that describe them.
struct DynamicCodes {
    Code lit;
    Code dist;
    Code lengths;
    int nLit = 0;
    int nDist = 0;
    int nLengths = 0;
    // The code-length symbols with their extra values, in order.
    uint16_t rle[kLitLenSymbols + kDistanceSymbols];
    int nRle = 0;
    uint64_t headerBits = 0;

    void build(const Frequencies& f) {
        codeLengths(f.lit, kLitLenSymbols, kMaxCodeBits, lit.len);
        codeLengths(f.dist, kDistanceSymbols, kMaxCodeBits, dist.len);
        nLit = kLitLenSymbols;
        while (nLit > 257 && lit.len[nLit - 1] == 0)
            --nLit;
        nDist = kDistanceSymbols;
        while (nDist > 1 && dist.len[nDist - 1] == 0)
            --nDist;
        // Both lists of lengths as one sequence, runs folded: an entry holds the
        // symbol in its low five bits and the repeat's extra value above.
        uint8_t all[kLitLenSymbols + kDistanceSymbols];
        std::copy(lit.len, lit.len + nLit, all);
        std::copy(dist.len, dist.len + nDist, all + nLit);
        const int total = nLit + nDist;
        uint32_t freq[kLengthCodeSymbols] = {};
        nRle = 0;
        auto add = [&](int symbol, int extra) {
            rle[nRle++] = static_cast<uint16_t>(symbol | extra << 5);
            ++freq[symbol];
        };
        for (int i = 0; i < total;) {
            const uint8_t v = all[i];
            int run = 1;
            while (i + run < total && all[i + run] == v)
                ++run;
            i += run;
            if (v == 0) {
                for (; run >= 11; run -= std::min(run, 138))
                    add(18, std::min(run, 138) - 11);
                if (run >= 3) {
                    add(17, run - 3);
                    run = 0;
                }
            } else {
                add(v, 0);
                --run;
                for (; run >= 3; run -= std::min(run, 6))
                    add(16, std::min(run, 6) - 3);
            }
            for (; run > 0; --run)
                add(v, 0);
        }
        codeLengths(freq, kLengthCodeSymbols, kMaxLengthCodeBits, lengths.len);
        nLengths = kLengthCodeSymbols;
        while (nLengths > 4 && lengths.len[kLengthCodeOrder[nLengths - 1]] == 0)
            --nLengths;
        headerBits = 5 + 5 + 4 + 3 * static_cast<uint64_t>(nLengths);
        for (int s = 0; s < kLengthCodeSymbols; ++s)
            headerBits += static_cast<uint64_t>(freq[s]) * lengths.len[s];
        headerBits += 2 * uint64_t{freq[16]} + 3 * uint64_t{freq[17]} + 7 * uint64_t{freq[18]};
    }

    // Bits of a block with these codes, the three-bit block header included.
    uint64_t cost(const Frequencies& f) const {
        uint64_t bits = 3 + headerBits + f.extraBits;
        for (int i = 0; i < kLitLenSymbols; ++i)
            bits += static_cast<uint64_t>(f.lit[i]) * lit.len[i];
        for (int i = 0; i < kDistanceSymbols; ++i)
            bits += static_cast<uint64_t>(f.dist[i]) * dist.len[i];
        return bits;
    }
};

struct FixedCodes {
    Code lit;
    Code dist;
    FixedCodes() {
        for (int i = 0; i < kFixedLitLenSymbols; ++i)
            lit.len[i] = static_cast<uint8_t>(fixedLitLenBits(i));
        canonicalCodes(lit, kFixedLitLenSymbols);
        std::fill(dist.len, dist.len + kDistanceSymbols, kFixedDistanceBits);
        canonicalCodes(dist, kDistanceSymbols);
    }
};
const FixedCodes kFixed;

uint64_t fixedCost(const Frequencies& f) {
    uint64_t bits = 3 + f.extraBits;
    for (int i = 0; i < kLitLenSymbols; ++i)
        bits += static_cast<uint64_t>(f.lit[i]) * kFixed.lit.len[i];
    for (int i = 0; i < kDistanceSymbols; ++i)
        bits += static_cast<uint64_t>(f.dist[i]) * kFixedDistanceBits;
    return bits;
}

// Stored blocks starting `at` bits into the stream: a header and padding to a
// byte, four bytes of lengths, the bytes; another header per 65,535 bytes.
uint64_t storedCost(uint64_t bytes, uint64_t at) {
    const uint64_t pieces = std::max<uint64_t>(1, (bytes + kStoredMax - 1) / kStoredMax);
    return (8 - (at + 3) % 8) % 8 + 3 + (pieces - 1) * 8 + pieces * 32 + bytes * 8;
}

template <class Writer>
void putSymbols(Writer& w, const uint32_t* sym, size_t n, const Code& lit, const Code& dist) {
    for (size_t i = 0; i < n; ++i) {
        const uint32_t s = sym[i];
        if (!isMatch(s)) {
            w.put(lit.bits[s], lit.len[s]);
            continue;
        }
        const int length = matchLength(s);
        const int lc = kLengthCodes.code[length];
        const int ls = kFirstLengthSymbol + lc;
        w.put(lit.bits[ls] | static_cast<uint32_t>(length - kLengthCodes.base[lc]) << lit.len[ls],
              lit.len[ls] + kLengthCodes.extraBits[lc]);
        const uint32_t d = s >> 9;
        const int dc = distanceCode(d);
        w.put(dist.bits[dc] | (d - distanceBase(dc)) << dist.len[dc],
              dist.len[dc] + distanceExtraBits(dc));
    }
    w.put(lit.bits[kEndOfBlock], lit.len[kEndOfBlock]);
}

// Writes the symbols with the codes; they take at most `bits` bits.
void writeSymbols(BitWriter& w, const uint32_t* sym, size_t n, const Code& lit, const Code& dist,
                  uint64_t bits) {
    BitWriter::Burst b;
    if (!w.burst(bits, b)) {
        putSymbols(w, sym, n, lit, dist);
        return;
    }
    putSymbols(b, sym, n, lit, dist);
    w.endBurst(b);
}

void writeStored(BitWriter& w, const uint8_t* text, uint64_t bytes, bool final) {
    do {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, kStoredMax));
        bytes -= n;
        w.put(final && bytes == 0 ? 1 : 0, 3);
        w.align();
        w.put(static_cast<uint32_t>(n) | static_cast<uint32_t>(~n & 0xFFFF) << 16, 32);
        w.putBytes(text, n);
        text += n;
    } while (bytes > 0);
}

void writeBlock(BitWriter& w, const uint32_t* sym, size_t n, const uint8_t* text,
                const Frequencies& f, const DynamicCodes& codes, bool final) {
    const uint64_t dynamic = codes.cost(f);
    const uint64_t fixed = fixedCost(f);
    if (storedCost(f.bytes, w.bitCount()) < std::min(dynamic, fixed)) {
        writeStored(w, text, f.bytes, final);
        return;
    }
    if (fixed <= dynamic) {
        w.put(final ? 3 : 2, 3);
        writeSymbols(w, sym, n, kFixed.lit, kFixed.dist, fixed);
        return;
    }
    w.put(final ? 5 : 4, 3);
    w.put(static_cast<uint32_t>(codes.nLit - 257) | static_cast<uint32_t>(codes.nDist - 1) << 5 |
              static_cast<uint32_t>(codes.nLengths - 4) << 10,
          14);
    for (int i = 0; i < codes.nLengths; ++i)
        w.put(codes.lengths.len[kLengthCodeOrder[i]], 3);
    Code lengths = codes.lengths;
    canonicalCodes(lengths, kLengthCodeSymbols);
    static constexpr int kRepeatBits[3] = {2, 3, 7};
    for (int i = 0; i < codes.nRle; ++i) {
        const int s = codes.rle[i] & 31;
        w.put(lengths.bits[s], lengths.len[s]);
        if (s >= 16)
            w.put(codes.rle[i] >> 5, kRepeatBits[s - 16]);
    }
    Code lit = codes.lit;
    Code dist = codes.dist;
    canonicalCodes(lit, codes.nLit);
    canonicalCodes(dist, codes.nDist);
    writeSymbols(w, sym, n, lit, dist, dynamic);
}

// `whole` holds the range's counts and `codes` its dynamic codes, so that
// neither is worked out twice.
void splitAndWrite(BitWriter& w, const uint32_t* sym, size_t n, const uint8_t* text,
                   const Frequencies& whole, const DynamicCodes& codes, bool final,
                   const RunCounts& counts) {
    if (n >= 2 * kMinSplitSymbols) {
        const size_t half = n / 2;
        Frequencies left;
        counts.count(sym, half, left);
        const Frequencies right = difference(whole, left);
        DynamicCodes leftCodes;
        DynamicCodes rightCodes;
        leftCodes.build(left);
        rightCodes.build(right);
        if (leftCodes.cost(left) + rightCodes.cost(right) < codes.cost(whole)) {
            splitAndWrite(w, sym, half, text, left, leftCodes, false, counts);
            splitAndWrite(w, sym + half, n - half, text + left.bytes, right, rightCodes, final,
                          counts);
            return;
        }
    }
    writeBlock(w, sym, n, text, whole, codes, final);
}

} // namespace

void writeBlocks(BitWriter& w, const uint32_t* sym, size_t n, const uint8_t* text, bool final,
                 std::vector<uint64_t>& scratch) {
    Frequencies whole;
    const RunCounts counts(sym, n, whole, scratch);
    DynamicCodes codes;
    codes.build(whole);
    splitAndWrite(w, sym, n, text, whole, codes, final, counts);
}

} // namespace zip::deflate

// How the LZH and deflate encoders hold a parse: a 32-bit symbol per step,
// bits 0-8 a byte (0-255) or a match (256 + length - 3), bits 9 and up the
// match's distance - 1.
#pragma once

#include "huge_pages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace lz {

// A parse: the symbols in order, in memory that may take huge pages.
using Symbols = arc::HugeVector<uint32_t>;

constexpr int kMinMatch = 3; // the shortest match either format codes

inline uint32_t literalSymbol(uint8_t b) {
    return b;
}
inline uint32_t matchSymbol(int length, uint32_t distance) {
    return static_cast<uint32_t>(256 + length - kMinMatch) | ((distance - 1) << 9);
}

// Appends the `n` bytes at `from` to `symbols`, each its own symbol. The
// library's insert() would make them one by one through the allocator, which
// takes no shortcut for any but its own; here resize() leaves the room as it
// is (HugePageAllocator) and a plain loop widens the bytes into it.
inline void appendLiterals(Symbols& symbols, const uint8_t* from, size_t n) {
    const size_t at = symbols.size();
    if (symbols.capacity() - at < n)
        arc::reserveFor(symbols, std::max(at + n, 2 * symbols.capacity()));
    symbols.resize(at + n);
    uint32_t* const out = symbols.data() + at;
    for (size_t i = 0; i < n; ++i)
        out[i] = from[i];
}

// Adds the bytes among the `n` symbols at `sym` to literal[0, 256) and hands
// each match symbol to `match`; returns how many bytes there were. Four bytes
// in a row, the common case, go to four tables of their own, so that a byte
// repeated does not wait for its own count just written.
template <class Match>
uint64_t countSymbols(const uint32_t* sym, size_t n, uint32_t* literal, Match&& match) {
    uint32_t t[4][256] = {};
    auto one = [&](uint32_t s) {
        if (s < 256)
            ++t[0][s];
        else
            match(s);
    };
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const uint32_t a = sym[i];
        const uint32_t b = sym[i + 1];
        const uint32_t c = sym[i + 2];
        const uint32_t d = sym[i + 3];
        if ((a | b | c | d) < 256) {
            ++t[0][a];
            ++t[1][b];
            ++t[2][c];
            ++t[3][d];
            continue;
        }
        one(a);
        one(b);
        one(c);
        one(d);
    }
    for (; i < n; ++i)
        one(sym[i]);
    uint64_t bytes = 0;
    for (int v = 0; v < 256; ++v) {
        const uint32_t k = t[0][v] + t[1][v] + t[2][v] + t[3][v];
        literal[v] += k;
        bytes += k;
    }
    return bytes;
}

// The bits needed to write v (0 for 0).
inline int bitLength(uint32_t v) {
    return v == 0 ? 0 : 32 - __builtin_clz(v);
}

// The low `bits` bits of v in the opposite order.
inline uint32_t reverseBits(uint32_t v, int bits) {
    uint32_t reversed = 0;
    for (int i = 0; i < bits; ++i, v >>= 1)
        reversed = reversed << 1 | (v & 1);
    return reversed;
}

} // namespace lz

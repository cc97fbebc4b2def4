// How the LZH and deflate encoders hold a parse: a 32-bit symbol per step,
// bits 0-8 a byte (0-255) or a match (256 + length - 3), bits 9 and up the
// match's distance - 1.
#pragma once

#include "huge_pages.h"

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

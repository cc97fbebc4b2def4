// How the LZH and deflate encoders hold a parse: a 32-bit symbol per step,
// bits 0-8 a byte (0-255) or a match (256 + length - 3), bits 9 and up the
// match's distance - 1.
#pragma once

#include <cstdint>

namespace lz {

inline uint32_t literalSymbol(uint8_t b) {
    return b;
}
inline uint32_t matchSymbol(int length, uint32_t distance) {
    return static_cast<uint32_t>(256 + length - 3) | ((distance - 1) << 9);
}

} // namespace lz

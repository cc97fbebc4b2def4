// The parts of the deflate format (RFC 1951) the encoder's pieces share: how a
// parse is held as symbols (lz_symbols.h: lengths 3-258, distances up to
// 32,768), and the length and distance codes with their extra bits.
#pragma once

#include "lz_symbols.h"

#include <cstddef>
#include <cstdint>

namespace zip::deflate {

using lz::kMinMatch;
constexpr int kMaxMatch = 258;
constexpr int kWindowBits = 15; // distances up to 32,768
constexpr size_t kWindow = size_t{1} << kWindowBits;
constexpr int kLitLenSymbols = 286;  // bytes, end of block, 29 length codes
constexpr int kDistanceSymbols = 30; // distance codes
constexpr int kEndOfBlock = 256;
constexpr int kFirstLengthSymbol = 257;
constexpr int kFixedLitLenSymbols = 288; // the fixed code also assigns codes to 286 and 287
constexpr int kFixedDistanceBits = 5;
constexpr int kLengthCodeSymbols = 19; // code lengths 0-15, then repeats 16, 17, 18
constexpr size_t kStoredMax = 65535;   // bytes in one stored block

// The order in which a dynamic block sends the code-length code's own lengths.
constexpr uint8_t kLengthCodeOrder[kLengthCodeSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

// The length of a literal/length symbol's fixed code (block type 1).
constexpr int fixedLitLenBits(int sym) {
    return sym < 144 ? 8 : sym < 256 ? 9 : sym < 280 ? 7 : 8;
}

using lz::literalSymbol;
using lz::matchSymbol;
inline bool isMatch(uint32_t sym) {
    return (sym & 0x1FF) >= 256;
}
inline int matchLength(uint32_t sym) {
    return static_cast<int>(sym & 0x1FF) - 256 + kMinMatch;
}

// Length codes: the index (0-28) of a length's code after kFirstLengthSymbol,
// its extra bits, and the length the code starts at.
struct LengthCodes {
    uint8_t code[kMaxMatch + 1];
    uint8_t extraBits[29];
    uint16_t base[29];

    constexpr LengthCodes() : code(), extraBits(), base() {
        int length = kMinMatch;
        for (int c = 0; c < 28; ++c) {
            extraBits[c] = static_cast<uint8_t>(c < 8 ? 0 : c / 4 - 1);
            base[c] = static_cast<uint16_t>(length);
            for (int k = 0; k < (1 << extraBits[c]); ++k)
                code[length++] = static_cast<uint8_t>(c);
        }
        // 258 has a code of its own although 227 + 31 would reach it.
        extraBits[28] = 0;
        base[28] = kMaxMatch;
        code[kMaxMatch] = 28;
    }
};
inline constexpr LengthCodes kLengthCodes;

using lz::bitLength;

// The distance code (0-29) of distance - 1: two codes per power of two.
inline int distanceCode(uint32_t distanceMinusOne) {
    if (distanceMinusOne < 4)
        return static_cast<int>(distanceMinusOne);
    const int b = bitLength(distanceMinusOne) - 1;
    return 2 * b + static_cast<int>((distanceMinusOne >> (b - 1)) & 1);
}
inline int distanceExtraBits(int code) {
    return code < 4 ? 0 : code / 2 - 1;
}
// distance - 1 where a code's distances start.
inline uint32_t distanceBase(int code) {
    return code < 4 ? static_cast<uint32_t>(code)
                    : (2u | static_cast<uint32_t>(code & 1)) << distanceExtraBits(code);
}

} // namespace zip::deflate

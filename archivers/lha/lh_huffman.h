// Huffman code construction shared by the encoder (code lengths, canonical codes).
#pragma once

#include <cstdint>

namespace lha {

// The longest code any table of these methods may use.
constexpr int kMaxCodeBits = 16;

// Fills len[0..n) (n at most 512) with optimal code lengths for the frequencies, none longer than
// `limit`. Symbols with frequency 0 get length 0. When fewer than two symbols
// occur every length is 0 (such a table is written as a single value).
void buildCodeLengths(const uint32_t* freq, int n, int limit, uint8_t* len);

// Canonical codes for the lengths: shorter codes first, equal lengths in symbol order.
void buildCanonicalCodes(const uint8_t* len, int n, uint16_t* code);

} // namespace lha

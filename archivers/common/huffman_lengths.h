// Length-limited Huffman code lengths and canonical codes, shared by the LZH
// and deflate encoders.
#pragma once

#include <cstdint>

namespace huff {

// Fills len[0..n) (n at most 512) with optimal code lengths for the
// frequencies, none longer than `limit`. Symbols with frequency 0 get length
// 0. When fewer than two symbols occur every length is 0.
void buildCodeLengths(const uint32_t* freq, int n, int limit, uint8_t* len);

// The longest code length buildCanonicalCodes takes.
constexpr int kMaxCanonicalBits = 16;

// Canonical codes for the lengths (at most kMaxCanonicalBits): shorter codes
// first, equal lengths in symbol order, each code's first bit its highest.
void buildCanonicalCodes(const uint8_t* len, int n, uint16_t* code);

} // namespace huff

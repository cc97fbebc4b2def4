// Length-limited Huffman code lengths, shared by the LZH and deflate encoders.
#pragma once

#include <cstdint>

namespace huff {

// Fills len[0..n) (n at most 512) with optimal code lengths for the
// frequencies, none longer than `limit`. Symbols with frequency 0 get length
// 0. When fewer than two symbols occur every length is 0.
void buildCodeLengths(const uint32_t* freq, int n, int limit, uint8_t* len);

} // namespace huff

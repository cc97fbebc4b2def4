// Huffman code construction shared by the encoder (code lengths, canonical codes).
#pragma once

#include "huffman_lengths.h"

#include <cstdint>

namespace lha {

// The longest code any table of these methods may use.
constexpr int kMaxCodeBits = 16;

// Code lengths (huffman_lengths.h); when fewer than two symbols occur every
// length is 0 and the table is written as a single value.
using huff::buildCodeLengths;

// Canonical codes for the lengths: shorter codes first, equal lengths in symbol order.
void buildCanonicalCodes(const uint8_t* len, int n, uint16_t* code);

} // namespace lha

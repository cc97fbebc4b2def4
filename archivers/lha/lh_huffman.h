// Huffman code construction for the encoder (code lengths, canonical codes).
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
using huff::buildCanonicalCodes;
static_assert(kMaxCodeBits <= huff::kMaxCanonicalBits);

} // namespace lha

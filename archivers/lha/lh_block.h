// The parse's symbols and the block writer of the LZH encoder.
//
// A parse is a sequence of 32-bit symbols: bits 0-8 hold the literal/length
// symbol (0-255 a byte, 256-509 a match of length 3-256), bits 9-24 the
// match's distance-1. The block writer cuts such a sequence into blocks, builds
// each block's Huffman tables and writes the tables and the codes.
#pragma once

#include "lh_bits.h"
#include "lz_symbols.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lha {

constexpr int kNC = 510; // literal/length symbols: 256 bytes + lengths 3..256
using lz::kMinMatch;
constexpr int kMaxMatch = 256;
constexpr int kMaxPositionSymbols = 17;

using lz::bitLength;
using lz::literalSymbol;
using lz::matchSymbol;

// Position symbols per window: 14 (-lh5-), 16 (-lh6-), 17 (-lh7-).
inline int positionSymbols(int windowBits) {
    return windowBits + 1;
}

// Where the last block of a run of blocks was written, so that it can be
// written again differently.
struct LastBlock {
    BitWriter::Mark mark;
    const uint32_t* sym = nullptr;  // its symbols, or
    const uint8_t* bytes = nullptr; // its bytes (writeByteBlocks)
    size_t n = 0;
};

// How a run of symbols too long for one block is cut before the halving
// weighs its parts: in halves (a parse, whose statistics change along the
// text, often where a halving falls), or in as few even parts as fit (bytes
// of noise, alike all along: halves of a MiB would be 32 blocks of 32 Ki
// symbols, each paying for its tables, where 17 do).
enum class Cut { Halves, Even };

// Writes the symbols as one or more blocks. A range is halved while the two
// halves cost fewer bits than the whole, and always when it holds more symbols
// than a block may (as `cut` says). `last` tells where the final block went.
// `scratch` holds the counts of the symbols at steps, which the halving weighs
// (about 2 KiB per 4,096 symbols), kept by the caller from call to call.
void writeBlocks(BitWriter& w, const uint32_t* sym, size_t n, int windowBits, LastBlock& last,
                 std::vector<uint32_t>& scratch, Cut cut = Cut::Halves);

// Writes bytes alone as blocks of literals, cut as writeBlocks cuts their
// symbols with Cut::Even, into the same bits, without the symbols made: the
// coder of noise without repeats.
void writeByteBlocks(BitWriter& w, const uint8_t* bytes, size_t n, int windowBits, LastBlock& last);

// lhasa and 7z both read one byte past the last code, and disagree on a stream
// that ends exactly on a byte boundary (lhasa needs a byte more, 7z refuses
// one). When the stream (with `bitsBefore` bits ahead of the writer's own)
// would end on a boundary, the last block is written again with a table entry
// or two more, until its end falls inside a byte.
void avoidAlignedEnd(BitWriter& w, int windowBits, int bitsBefore, LastBlock& last);

} // namespace lha

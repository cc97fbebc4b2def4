// A match search for data that is nearly noise (noise.h: a part that would
// shrink but little, such as a run of small compressed files
// whose headers and code tables repeat bits of each other), shared by the LZH
// and deflate encoders. Most positions of such data have no earlier copy of
// their first three bytes at all, and a thorough search there finds nothing
// at the price of a chain walk and a price update per byte. Here each
// position costs one look at the last position with the same hash of three
// bytes; only where that one holds the same three bytes is its chain walked
// for the longest match, and the next position looked at too (a lazy match).
// The parse is the symbols of lz_symbols.h, for the encoders' own block
// writers, which keep the Huffman coding of the bytes.
//
// On such data it codes about as small as a thorough search, at a fraction of
// its cost: on 100 MB of .gz files, whose MiB shrink by 0.1 to 10 %, the ZIP
// comes out 10 KB smaller than with libdeflate's level 9 on the MiB of many
// matches and within 4 KB of our near-optimal parse there, the LZH 2.5 KB
// smaller than with the chains. Matches of three bytes count, far ones too:
// leaving out those more than 4 KiB back made that ZIP 10 KB larger. On the
// 4 MiB of those files that shrink by 10 to 18 % (compressed fonts and
// charmaps), it gives up 4.5 KB to our near-optimal parse at about a quarter
// of its instructions.
#pragma once

#include "lz_symbols.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lz {

class SparseParser {
public:
    // Matches reach back less than 2^windowBits bytes and are at most
    // `maxMatch` bytes long.
    SparseParser(int windowBits, int maxMatch);

    // Appends the parse of text[history, size) to `symbols`; text[0, history)
    // is the text before it, which matches may refer to.
    void parse(const uint8_t* text, size_t history, size_t size, Symbols& symbols);

private:
    // parse() for at most kMostBytes (lz_sparse.cpp).
    void parseSome(const uint8_t* text, size_t history, size_t size, Symbols& symbols);

    int windowBits_;
    int maxMatch_;
    // Per hash of three bytes: its last position + 1 (0 for none) and a tag of
    // the three bytes there, so that a miss is told without a look at the text.
    std::vector<uint32_t> head_;
    // Per position modulo the window: the last position + 1 with the same
    // hash before it.
    std::unique_ptr<uint32_t[]> prev_;
};

} // namespace lz

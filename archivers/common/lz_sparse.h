// A match search for data that is nearly noise (noise.h: a part that would
// shrink by a few per cent, such as a run of small compressed files whose
// headers and code tables repeat bits of each other), shared by the LZH and
// deflate encoders. Most positions of such data have no earlier copy of their
// first four bytes at all, and a thorough search there finds nothing at the
// price of a chain walk and a price update per byte. Here each position costs
// one look at the last position with the same hash of four bytes; only where
// that one holds the same four bytes is its chain walked for the longest
// match, and the next position looked at too (a lazy match). The parse is the
// symbols of lz_symbols.h, for the encoders' own block writers, which keep
// the Huffman coding of the bytes.
//
// On such data it codes about as small as a thorough lazy search (on the
// parts of 100 MB of .gz files that shrink by 1-6 %, a few hundred bytes a MiB
// smaller than libdeflate's level 9), at a fraction of the cost. Where matches
// are many (a part that is text in fact), a thorough search finds clearly
// more (up to 2 %): the parse then gives up and tells the caller so.
#pragma once

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

    // Appends the parse of text[history, size) to `symbols` and returns true;
    // text[0, history) is the text before it, which matches may refer to.
    // Returns false, `symbols` as they were, for data with more matches than
    // nearly noise has, which a thorough search codes clearly better: as soon
    // as the parse has found more than one match per 256 bytes of it.
    bool parse(const uint8_t* text, size_t history, size_t size, std::vector<uint32_t>& symbols);

private:
    // parse() for at most kMostBytes (lz_sparse.cpp), finding at most `most`
    // matches; returns their count, or a count above `most` once it finds more.
    size_t parseSome(const uint8_t* text, size_t history, size_t size, size_t most,
                     std::vector<uint32_t>& symbols);

    int windowBits_;
    int maxMatch_;
    // Per hash of four bytes: its last position + 1 (0 for none) and a tag of
    // the four bytes there, so that a miss is told without a look at the text.
    std::vector<uint32_t> head_;
    // Per position modulo the window: the last position + 1 with the same
    // hash before it.
    std::unique_ptr<uint32_t[]> prev_;
};

} // namespace lz

// The parsers of the LZH encoder: they turn a text into the symbols of
// lh_block.h. Each works on one segment: `history` bytes of text that come
// before (already encoded, used only as match sources), then the bytes to parse.
//   ChainParser    the default: the cheapest path through a stretch of text
//                  over the few matches hash chains find at each position,
//                  searching past long matches, priced in bits learnt from the
//                  text before.
//   OptimalParser  the maximum level: binary trees and the cheapest path through
//                  all matches of a stretch of text, at several times the cost.
#pragma once

#include "lh_block.h"
#include "lh_match.h"
#include "lz_path.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lha {

// Bit prices of the symbols, in sixteenths of a bit, from the statistics of the
// text parsed so far (until there are any, a guess: bytes 8 bits, matches a
// little more).
struct Prices {
    uint32_t symbol[kNC];
    uint32_t position[kMaxPositionSymbols]; // position symbol plus its extra bits
    uint32_t cfreq[kNC];
    uint32_t pfreq[kMaxPositionSymbols];
    int np;

    explicit Prices(int positions);
    void count(uint32_t sym) {
        const uint32_t c = sym & 0x1FF;
        ++cfreq[c];
        if (c >= 256)
            ++pfreq[bitLength(sym >> 9)];
    }
    // New prices from the counts; the counts then fade by an eighth, so recent
    // text weighs most.
    void update();
    // Clears the counts, keeping the prices.
    void forgetCounts() {
        std::fill(cfreq, cfreq + kNC, 0u);
        std::fill(pfreq, pfreq + kMaxPositionSymbols, 0u);
    }
};

// The prices laid out for a parser's inner loop: literals by byte, matches by
// length and by distance symbol. A copy of its own, so that the compiler keeps
// it apart from the costs being written.
struct PriceTable {
    static constexpr int kMaxMatch = lha::kMaxMatch;
    // The distance's price index: the bit length of distance - 1.
    static int slot(uint32_t distanceMinusOne) { return bitLength(distanceMinusOne); }

    uint32_t literal[256];
    uint32_t length[kMaxMatch + 1]; // from kMinMatch up
    uint32_t distance[kMaxPositionSymbols];

    explicit PriceTable(const Prices& prices) {
        std::copy(prices.symbol, prices.symbol + 256, literal);
        std::copy(prices.symbol + 256, prices.symbol + 256 + (kMaxMatch + 1 - kMinMatch),
                  length + kMinMatch);
        std::copy(prices.position, prices.position + kMaxPositionSymbols, distance);
    }
};

class ChainParser {
public:
    explicit ChainParser(int windowBits);
    void parse(const uint8_t* text, size_t history, size_t size, lz::Symbols& symbols);

private:
    int windowBits_;
    lz::PathSettings settings_;
    HashChains chains_;
    lz::PathBuffers buffers_;
};

class OptimalParser {
public:
    explicit OptimalParser(int windowBits);
    void parse(const uint8_t* text, size_t history, size_t size, lz::Symbols& symbols);

private:
    int windowBits_;
    BinaryTrees trees_;
};

} // namespace lha

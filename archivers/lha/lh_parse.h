// The parsers of the LZH encoder: they turn a text into the symbols of
// lh_block.h. Each works on one segment: `history` bytes of text that come
// before (already encoded, used only as match sources), then the bytes to parse.
//   LazyParser     the default: hash chains and lazy matching, each choice
//                  weighed with bit prices learnt from the text before.
//   OptimalParser  the maximum level: binary trees and the cheapest path through
//                  all matches of a stretch of text, at several times the cost.
#pragma once

#include "lh_block.h"
#include "lh_match.h"

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

    uint32_t match(int length, uint32_t distance) const {
        return symbol[256 + length - kMinMatch] + position[bitLength(distance - 1)];
    }
};

class LazyParser {
public:
    explicit LazyParser(int windowBits);
    void parse(const uint8_t* text, size_t history, size_t size, std::vector<uint32_t>& symbols);

private:
    int windowBits_;
    int depth_; // chain positions compared per search
    HashChains chains_;
    std::vector<uint32_t> literalSum_; // prefix sums of literal prices over a stretch
    std::unique_ptr<Match[]> cached_;  // matches already searched, by position
    std::unique_ptr<int32_t[]> cachedAt_;
};

class OptimalParser {
public:
    explicit OptimalParser(int windowBits);
    void parse(const uint8_t* text, size_t history, size_t size, std::vector<uint32_t>& symbols);

private:
    int windowBits_;
    BinaryTrees trees_;
};

} // namespace lha

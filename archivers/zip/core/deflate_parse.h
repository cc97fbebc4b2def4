// The parser of the deflate encoder: the cheapest path through each stretch of
// text over the few matches hash chains find at each position, priced in bits
// learnt from the text before it.
#pragma once

#include "deflate_format.h"
#include "lz_chains.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zip::deflate {

// Bit prices of the symbols, in sixteenths of a bit, from the counts of the
// symbols parsed so far (until there are any, a guess).
struct Prices {
    uint32_t literal[kLitLenSymbols];    // bytes and length codes, extra bits included
    uint32_t distance[kDistanceSymbols]; // extra bits included
    uint32_t literalCount[kLitLenSymbols];
    uint32_t distanceCount[kDistanceSymbols];

    Prices();
    void count(uint32_t sym) {
        if (!isMatch(sym)) {
            ++literalCount[sym & 0xFF];
            return;
        }
        ++literalCount[kFirstLengthSymbol + kLengthCodes.code[matchLength(sym)]];
        ++distanceCount[distanceCode(sym >> 9)];
    }
    // New prices from the counts; the counts then fade by an eighth, so that
    // recent text weighs most.
    void update();
    void forgetCounts();
};

class Parser {
public:
    Parser();

    // Starts on a new text of `size` bytes, of which the first `history`
    // (at most the window) only serve as the source of matches: parses the
    // opening stretch after them once, with guessed prices, only to learn the
    // prices to begin with.
    void start(const uint8_t* text, size_t history, size_t size);
    // Parses on from `from`, where the last call stopped, to at least `to`;
    // returns where it stopped (past `to` when a match runs over it).
    size_t parse(size_t from, size_t to, std::vector<uint32_t>& symbols);

private:
    void reset();

    const uint8_t* text_ = nullptr;
    int32_t history_ = 0;
    int32_t size_ = 0;
    Prices prices_;
    int32_t sincePrices_ = 0; // positions parsed since the prices were updated
    lz::HashChains chains_;
    // The match searched past: where it ends, its distance, and the positions
    // not searched.
    int32_t skipEnd_ = 0;
    int32_t skipDistance_ = 0;
    int32_t skipFrom_ = 0;
    int32_t skipTo_ = 0;
    // The cheapest path through a stretch: per position its cost, how it is
    // reached, and where its matches start in matches_.
    std::vector<uint64_t> best_;
    std::vector<uint32_t> firstMatch_;
    std::vector<lz::Match> matches_;
    std::vector<uint32_t> path_;
};

} // namespace zip::deflate

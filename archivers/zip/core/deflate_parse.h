// The parser of the deflate encoder: the cheapest path of lz_path.h through
// each stretch of text, priced in bits learnt from the text before it.
#pragma once

#include "deflate_format.h"
#include "lz_path.h"

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
    // returns where it stopped (past `to` when a match runs over it). A text
    // learnt whole (lz::kLearnWhole bytes after its history or fewer) is
    // parsed in one call, on the matches the learning parse kept.
    size_t parse(size_t from, size_t to, lz::Symbols& symbols);

private:
    void reset();

    const uint8_t* text_ = nullptr;
    size_t history_ = 0;
    size_t size_ = 0;
    Prices prices_;
    lz::HashChains chains_;
    lz::PathState state_;
    lz::PathBuffers buffers_;
    // The opening parse kept the matches of the whole text for the first parse.
    bool replay_ = false;
};

} // namespace zip::deflate

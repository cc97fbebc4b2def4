#include "deflate_parse.h"

#include <algorithm>
#include <cstring>

namespace zip::deflate {

namespace {

// The chains reach far enough to search deep, past matches of 12 bytes from
// their fourth byte on; matches of 64 bytes are taken at once. (Searching past
// matches of 16 bytes from their third byte on made the same sizes for a tenth
// more time on English text; giving every position searched past the rest of
// its match, not only a stretch's first, made headers.tar 0.08 % smaller for a
// tenth more time.)
constexpr lz::PathSettings kSettings{96, 64, 12, 3, 8};

// A symbol's price is at most the longest code deflate allows.
constexpr double kMaxPriceBits = 15.0;

uint32_t extraBitsOfSymbol(int i) {
    return i < kFirstLengthSymbol ? 0 : kLengthCodes.extraBits[i - kFirstLengthSymbol];
}

// The prices laid out for the inner loop: literals by byte, matches by length
// and by distance code. A copy of its own, so that the compiler keeps it apart
// from the costs being written.
struct PriceTable {
    static constexpr int kMaxMatch = deflate::kMaxMatch;
    static int slot(uint32_t distanceMinusOne) { return distanceCode(distanceMinusOne); }

    uint32_t literal[256];
    uint32_t length[kMaxMatch + 1];
    uint32_t distance[kDistanceSymbols];

    explicit PriceTable(const Prices& p) {
        std::copy(p.literal, p.literal + 256, literal);
        for (int len = kMinMatch; len <= kMaxMatch; ++len)
            length[len] = p.literal[kFirstLengthSymbol + kLengthCodes.code[len]];
        std::copy(p.distance, p.distance + kDistanceSymbols, distance);
    }
};

} // namespace

Prices::Prices() {
    for (int i = 0; i < kLitLenSymbols; ++i)
        literal[i] = 16 * ((i < kFirstLengthSymbol ? 8 : 7) + extraBitsOfSymbol(i));
    for (int d = 0; d < kDistanceSymbols; ++d)
        distance[d] = 16 * (5 + static_cast<uint32_t>(distanceExtraBits(d)));
    forgetCounts();
}

void Prices::forgetCounts() {
    std::memset(literalCount, 0, sizeof literalCount);
    std::memset(distanceCount, 0, sizeof distanceCount);
}

void Prices::update() {
    uint64_t total = 0;
    for (uint32_t c : literalCount)
        total += c * 4 + 1;
    lz::SharePrices literalPrice(total, kMaxPriceBits);
    for (int i = 0; i < kLitLenSymbols; ++i) {
        literal[i] = literalPrice(literalCount[i] * 4 + 1) + 16 * extraBitsOfSymbol(i);
        literalCount[i] -= literalCount[i] >> 3;
    }
    total = 0;
    for (uint32_t c : distanceCount)
        total += c * 4 + 1;
    lz::SharePrices distancePrice(total, kMaxPriceBits);
    for (int d = 0; d < kDistanceSymbols; ++d) {
        distance[d] = distancePrice(distanceCount[d] * 4 + 1) +
                      16 * static_cast<uint32_t>(distanceExtraBits(d));
        distanceCount[d] -= distanceCount[d] >> 3;
    }
}

Parser::Parser() : chains_(kWindowBits) {}

void Parser::reset() {
    chains_.reset(text_, history_, size_);
    state_ = lz::PathState();
}

void Parser::start(const uint8_t* text, size_t history, size_t size) {
    text_ = text;
    history_ = history;
    size_ = size;
    prices_ = Prices();
    // A short text is learnt from whole: its matches are kept for the parse.
    replay_ = lz::learnUntil(history, size) == size;
    lz::learnPrices<PriceTable>(text, history, size, chains_, kSettings, buffers_, prices_,
                                replay_ ? lz::MatchSource::Learn : lz::MatchSource::Search);
    if (!replay_)
        reset();
    else
        state_ = lz::PathState();
}

size_t Parser::parse(size_t from, size_t to, lz::Symbols& symbols) {
    const lz::MatchSource source = replay_ ? lz::MatchSource::Replay : lz::MatchSource::Search;
    replay_ = false;
    return lz::cheapestPath<PriceTable>(text_, from, to, size_, chains_, kSettings, state_,
                                        buffers_, prices_, symbols, source);
}

} // namespace zip::deflate

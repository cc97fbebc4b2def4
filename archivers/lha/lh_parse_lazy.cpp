#include "lh_parse.h"

#include <algorithm>

namespace lha {

namespace {

constexpr int32_t kPriceStretch = 8192; // positions parsed between price updates
constexpr int kLookAhead = 2; // positions after a match's start whose matches may replace it
constexpr int kMaxCut = 1;    // bytes a match may give up so that the next one reaches further
constexpr int kCache = 1024;  // matches remembered, by position modulo this

// Chain depth, and the match length that ends a search and is taken without
// looking further, per window.
struct Effort {
    int depth;
    int nice;
};
Effort effortOf(int windowBits) {
    return windowBits <= 13 ? Effort{64, 128} : Effort{64, 128};
}

} // namespace

LazyParser::LazyParser(int windowBits)
    : windowBits_(windowBits), chains_(windowBits), cached_(std::make_unique<Match[]>(kCache)),
      cachedAt_(std::make_unique<int32_t[]>(kCache)) {}

// Lazy matching, with every choice weighed in bit prices learnt from the text
// before (a match's price against the price of its bytes as literals):
//  - the longest match at a position is taken only when it costs less than its
//    literals, so a short match at a far distance is not;
//  - a match starting one or two bytes later, after literals, replaces it when
//    it covers the same text for less;
//  - a match gives up its last byte when the match found there reaches further
//    than the one found after it, for less.
// A run of text equal to the text just before it gives matches of the nice
// length at once, which are taken without looking further: long repeats cost
// little more than adding their positions to the chains.
void LazyParser::parse(const uint8_t* b, size_t history, size_t size,
                       std::vector<uint32_t>& symbols) {
    const int32_t end = static_cast<int32_t>(size);
    const int32_t lastStart = end - kMinMatch; // the last position a match can start at
    const Effort effort = effortOf(windowBits_);
    chains_.reset(size);
    int32_t added = 0; // positions before this one are in the chains
    for (; added < static_cast<int32_t>(history) && added <= lastStart; ++added)
        chains_.insert(b, added);

    Prices prices(positionSymbols(windowBits_));
    // literalSum_[i] is the price of the literals from `base` to base+i; it
    // covers the stretch and the matches that can start near its end.
    literalSum_.resize(kPriceStretch + 3 * kMaxMatch + 2);
    int32_t base = 0;
    int32_t stretchEnd = 0;
    auto refresh = [&](int32_t from) {
        base = from;
        stretchEnd = std::min(end, from + kPriceStretch);
        const int32_t last = std::min(end, stretchEnd + 3 * kMaxMatch);
        uint32_t sum = 0;
        literalSum_[0] = 0;
        for (int32_t p = from; p < last; ++p) {
            sum += prices.symbol[b[p]];
            literalSum_[static_cast<size_t>(p - from + 1)] = sum;
        }
    };
    auto literals = [&](int32_t from, int32_t to) {
        return literalSum_[static_cast<size_t>(to - base)] -
               literalSum_[static_cast<size_t>(from - base)];
    };
    auto price = [&](int length, const Match& m) {
        return prices.match(length, static_cast<uint32_t>(m.distance));
    };

    // The match at p among the positions before it. Positions are searched in
    // increasing order (each is added to the chains after its search); one
    // searched before is answered from the cache.
    std::fill(cachedAt_.get(), cachedAt_.get() + kCache, -1);
    auto matchAt = [&](int32_t p) {
        const int slot = p & (kCache - 1);
        if (cachedAt_[slot] == p)
            return cached_[slot];
        for (; added < p && added <= lastStart; ++added)
            chains_.insert(b, added);
        Match m;
        if (p <= lastStart) {
            m = chains_.find(b, p, std::min(kMaxMatch, end - p), effort.depth, effort.nice);
            chains_.insert(b, p);
            added = p + 1;
        }
        cached_[slot] = m;
        cachedAt_[slot] = p;
        return m;
    };
    auto emit = [&](uint32_t sym) {
        symbols.push_back(sym);
        prices.count(sym);
    };

    int32_t pos = static_cast<int32_t>(history);
    refresh(pos);
    while (pos < end) {
        if (pos >= stretchEnd) {
            prices.update();
            refresh(pos);
        }
        const Match m = matchAt(pos);
        if (m.length == 0 || price(m.length, m) >= literals(pos, pos + m.length)) {
            emit(literalSymbol(b[pos]));
            ++pos;
            continue;
        }
        int length = m.length;
        if (length < effort.nice) {
            // Each way of coding the text is followed by literals to the same end.
            const int32_t endA = pos + length;
            const uint32_t costA = price(length, m);
            bool later = false;
            for (int k = 1; k <= kLookAhead && !later && pos + k < end; ++k) {
                const Match n = matchAt(pos + k);
                if (n.length == 0)
                    continue;
                const int32_t endB = pos + k + n.length;
                const int32_t to = std::max(endA, endB);
                later = literals(pos, pos + k) + price(n.length, n) + literals(endB, to) <
                        costA + literals(endA, to);
            }
            if (later) {
                emit(literalSymbol(b[pos]));
                ++pos;
                continue;
            }
            for (int cut = kMaxCut; cut >= 1; --cut)
                if (length - cut >= kMinMatch)
                    matchAt(endA - cut); // searched in order, before endA
            const Match next = matchAt(endA);
            int32_t bestEnd = endA + next.length;
            uint32_t bestCost = costA + (next.length ? price(next.length, next) : 0);
            for (int cut = 1; cut <= kMaxCut && m.length - cut >= kMinMatch; ++cut) {
                const Match n = matchAt(endA - cut);
                if (n.length <= next.length + cut)
                    continue;
                const int32_t e = endA - cut + n.length;
                const uint32_t c = price(m.length - cut, m) + price(n.length, n);
                const int32_t to = std::max(e, bestEnd);
                if (c + literals(e, to) < bestCost + literals(bestEnd, to)) {
                    bestCost = c;
                    bestEnd = e;
                    length = m.length - cut;
                }
            }
        }
        emit(matchSymbol(length, static_cast<uint32_t>(m.distance)));
        pos += length;
    }
}

} // namespace lha

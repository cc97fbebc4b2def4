#include "lh_parse.h"

#include <algorithm>

namespace lha {

namespace {

constexpr int32_t kPriceStretch = 8192; // positions parsed between price updates
constexpr int kLongMatch = 32;          // a match this long is taken without looking further
constexpr int kLookAhead = 2;  // positions after a match's start whose matches may replace it
constexpr int kMaxCut = 1;     // bytes a match may give up so that the next one reaches further
constexpr int kCache = 1024;   // matches remembered, by position modulo this
constexpr int kRunPeriod = 15; // a match at this distance or less repeats a short pattern
constexpr int kRunTail = 8;    // positions added at the end of a run

// Chain positions compared per search. The chains of the wider windows are
// longer and slower to walk; they are cut shorter to keep the time per byte
// about the same.
int chainDepth(int windowBits) {
    return windowBits <= 13 ? 80 : 48;
}

} // namespace

LazyParser::LazyParser(int windowBits)
    : windowBits_(windowBits), depth_(chainDepth(windowBits)), chains_(windowBits),
      cached_(std::make_unique<Match[]>(kCache)), cachedAt_(std::make_unique<int32_t[]>(kCache)) {}

// Lazy matching, with every choice weighed in bit prices learnt from the text
// before (a match's price against the price of its bytes as literals):
//  - the longest match at a position is taken only when it costs less than its
//    literals, so a short match at a far distance is not;
//  - a match starting one or two bytes later, after literals, replaces it when
//    it covers the same text for less; each way is priced to the same end, the
//    text one leaves over coded as literals or as the rest of the other's match;
//  - a match gives up its last byte when the match found there reaches further
//    than the one found after it, for less.
// A long match is taken without looking further, and a run of a short pattern
// as long as a match can be adds only its last positions to the chains, so
// that long repeats cost little.
void LazyParser::parse(const uint8_t* b, size_t history, size_t size,
                       std::vector<uint32_t>& symbols) {
    const int32_t end = static_cast<int32_t>(size);
    const int32_t lastStart = end - kMinMatch; // the last position a match can start at
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

    // The price of the text from `from` to `to` as literals or, when cheaper, as
    // a match at the distance of m (the rest of a match that covered it).
    auto tail = [&](int32_t from, int32_t to, const Match& m) {
        const uint32_t lit = literals(from, to);
        const int length = static_cast<int>(to - from);
        return length >= kMinMatch && m.length > 0 ? std::min(lit, price(length, m)) : lit;
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
            m = chains_.find(b, p, std::min(kMaxMatch, end - p), depth_, kMaxMatch);
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
        if (length < kLongMatch) {
            // Each way is priced to the same end: the text it leaves over as
            // literals or as the rest of the other way's match.
            const int32_t endA = pos + length;
            const uint32_t costA = price(length, m);
            bool later = false;
            for (int k = 1; k <= kLookAhead && !later && pos + k < end; ++k) {
                const Match n = matchAt(pos + k);
                if (n.length == 0)
                    continue;
                const int32_t endB = pos + k + n.length;
                const int32_t to = std::max(endA, endB);
                later = literals(pos, pos + k) + price(n.length, n) + tail(endB, to, m) <
                        costA + tail(endA, to, n);
            }
            if (later) {
                emit(literalSymbol(b[pos]));
                ++pos;
                continue;
            }
            // The match may give up bytes for a next one that reaches further.
            for (int cut = kMaxCut; cut >= 1; --cut)
                if (length - cut >= kMinMatch)
                    matchAt(endA - cut); // searched in order, before endA
            const Match next = matchAt(endA);
            int32_t bestEnd = endA + next.length;
            uint32_t bestCost = costA + (next.length ? price(next.length, next) : 0);
            Match best = next;
            for (int cut = 1; cut <= kMaxCut && m.length - cut >= kMinMatch; ++cut) {
                const Match n = matchAt(endA - cut);
                if (n.length <= next.length + cut)
                    continue;
                const int32_t e = endA - cut + n.length;
                const uint32_t c = price(m.length - cut, m) + price(n.length, n);
                const int32_t to = std::max(e, bestEnd);
                if (c + tail(e, to, best) < bestCost + tail(bestEnd, to, n)) {
                    bestCost = c;
                    bestEnd = e;
                    best = n;
                    length = m.length - cut;
                }
            }
        }
        emit(matchSymbol(length, static_cast<uint32_t>(m.distance)));
        pos += length;
        // Inside a long run of a short pattern every position repeats the one a
        // period before: only the last few are added, as sources for what follows.
        if (length == kMaxMatch && m.distance <= kRunPeriod)
            added = std::max(added, pos - kRunTail);
    }
}

} // namespace lha

#include "lh_parse.h"

#include <algorithm>

namespace lha {

namespace {

constexpr int32_t kPriceStretch = 8192; // positions parsed between price updates

// Chain depth and the match length that ends a search (and is taken without
// looking further), per window: the wider windows have longer chains.
struct Effort {
    int depth;
    int nice;
};
Effort effortOf(int windowBits) {
    return windowBits <= 13 ? Effort{48, 128} : Effort{64, 128};
}

} // namespace

LazyParser::LazyParser(int windowBits) : windowBits_(windowBits), chains_(windowBits) {}

// Lazy matching: the longest match at a position is taken only when the match
// found one byte further on does not pay more. What a match pays is the price
// of its bytes as literals less its own price, both from the statistics of the
// text before, so a short match at a far distance that would cost more than
// its literals is not taken either. A run of the text equal to the text just
// before it gives matches of the nice length at once, which are taken without
// a second search: long repeats cost little more than adding their positions.
void LazyParser::parse(const uint8_t* b, size_t history, size_t size,
                       std::vector<uint32_t>& symbols) {
    const int32_t end = static_cast<int32_t>(size);
    const Effort effort = effortOf(windowBits_);
    chains_.reset(size);
    for (int32_t p = 0; p < static_cast<int32_t>(history) && p + kMinMatch <= end; ++p)
        chains_.insert(b, p);

    Prices prices(positionSymbols(windowBits_));
    // literalSum_[i] is the price of the literals from `base` to base+i; it
    // covers the stretch and the longest match that can start in it.
    literalSum_.resize(kPriceStretch + 2 * kMaxMatch + 2);
    int32_t base = 0;
    int32_t stretchEnd = 0;
    auto refresh = [&](int32_t from) {
        base = from;
        stretchEnd = std::min(end, from + kPriceStretch);
        const int32_t last = std::min(end, stretchEnd + 2 * kMaxMatch);
        uint32_t sum = 0;
        literalSum_[0] = 0;
        for (int32_t p = from; p < last; ++p) {
            sum += prices.symbol[b[p]];
            literalSum_[static_cast<size_t>(p - from + 1)] = sum;
        }
    };
    // Bits (in sixteenths) a match saves over literals; negative when it costs more.
    auto saving = [&](int32_t at, const Match& m) {
        const uint32_t literals = literalSum_[static_cast<size_t>(at - base + m.length)] -
                                  literalSum_[static_cast<size_t>(at - base)];
        return static_cast<int32_t>(literals) -
               static_cast<int32_t>(prices.match(m.length, static_cast<uint32_t>(m.distance)));
    };
    // The match at p among the positions before it; p is added after the search.
    auto findAt = [&](int32_t p) {
        if (p + kMinMatch > end)
            return Match{};
        const Match m = chains_.find(b, p, std::min(kMaxMatch, end - p), effort.depth, effort.nice);
        chains_.insert(b, p);
        return m;
    };
    auto emit = [&](uint32_t sym) {
        symbols.push_back(sym);
        prices.count(sym);
    };

    int32_t pos = static_cast<int32_t>(history);
    refresh(pos);
    Match m = findAt(pos);
    while (pos < end) {
        if (pos >= stretchEnd) {
            prices.update();
            refresh(pos);
        }
        if (m.length == 0 || saving(pos, m) <= 0) {
            emit(literalSymbol(b[pos]));
            m = findAt(++pos);
            continue;
        }
        int32_t next = pos + 1; // the first position not yet added
        if (m.length < effort.nice) {
            const Match later = findAt(pos + 1);
            next = pos + 2;
            if (later.length > 0 && saving(pos + 1, later) > saving(pos, m)) {
                emit(literalSymbol(b[pos]));
                ++pos;
                m = later;
                continue;
            }
        }
        emit(matchSymbol(m.length, static_cast<uint32_t>(m.distance)));
        pos += m.length;
        for (const int32_t stop = std::min(pos, end - kMinMatch + 1); next < stop; ++next)
            chains_.insert(b, next);
        m = findAt(pos);
    }
}

} // namespace lha

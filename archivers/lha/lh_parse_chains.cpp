#include "lh_parse.h"

#include <algorithm>

namespace lha {

namespace {

constexpr int kStretch = 4096;          // positions priced together before the path is chosen
constexpr int kPriceStretch = 8192;     // positions parsed between price updates
constexpr size_t kLearnWhole = 1 << 16; // a segment this short is parsed twice whole
constexpr int kLongMatch = 32;          // a match this long is taken without looking further
constexpr int kSkip = 8;                // a match this long is searched past only near its end
constexpr int kLook = 2;                // positions after such a match's start still searched
constexpr int kFullPricing = 8;         // longer matches are priced at their full length only
constexpr int kRunPeriod = 15;          // a match at this distance or less repeats a short pattern
constexpr int kRunTail = 8;             // positions added at the end of a run

// Chain positions compared per search. The chains of the wider windows are
// longer and slower to walk; they are cut shorter to keep the time per byte
// about the same.
int chainDepth(int windowBits) {
    return windowBits <= 13 ? 40 : 28;
}

} // namespace

ChainParser::ChainParser(int windowBits)
    : windowBits_(windowBits), depth_(chainDepth(windowBits)), chains_(windowBits) {}

// The cheapest path through each stretch of text, over the few matches that
// the hash chains give at a position (the closest of three bytes and each
// longer one farther back), priced in bits learnt from the text before:
//  - every position is reached by a literal, or by one of its matches at any
//    length up to kFullPricing, or at its full length or one byte less;
//  - a match of kSkip bytes or more is searched past: the positions after its
//    first kLook are only added to the chains, up to its last byte, where the
//    search resumes so that the next match may start before its end;
//  - a match of kLongMatch bytes ends the stretch: the path is chosen up to its
//    start and the match is taken as it is, and a run of a short pattern as long
//    as a match can be adds only its last positions to the chains, so that long
//    repeats cost little.
void ChainParser::pass(const uint8_t* b, size_t history, size_t size, Prices& prices,
                       std::vector<uint32_t>& symbols) {
    const int32_t end = static_cast<int32_t>(size);
    const int32_t lastStart = end - kMinMatch; // the last position a match can start at
    chains_.reset(size);
    for (int32_t p = 0; p < static_cast<int32_t>(history) && p <= lastStart; ++p)
        chains_.insert(b, p);

    // Sized to the text, so that a short one costs little.
    const size_t positions = std::min<size_t>(kStretch, size - history) + 1;
    if (best_.size() < positions) {
        best_.resize(positions);
        firstMatch_.resize(positions);
    }
    Match found[kMaxMatch];
    int32_t sincePrices = 0; // positions parsed since the prices were updated
    auto emit = [&](uint32_t sym) {
        symbols.push_back(sym);
        prices.count(sym);
    };

    // The match searched past: where it ends, its distance, and the positions
    // not searched.
    int32_t skipEnd = 0;
    int32_t skipDistance = 0;
    int32_t skipFrom = 0;
    int32_t skipTo = 0;
    int32_t pos = static_cast<int32_t>(history);
    while (pos < end) {
        const int n = static_cast<int>(std::min<int32_t>(kStretch, end - pos));
        int stop = n; // where the priced path ends
        Match taken;  // a match of kLongMatch bytes or more, taken after it
        matches_.clear();
        for (int i = 0; i < n; ++i) {
            firstMatch_[static_cast<size_t>(i)] = static_cast<uint32_t>(matches_.size());
            const int32_t p = pos + i;
            if (p > lastStart)
                continue;
            if (p >= skipFrom && p < skipTo) {
                chains_.insert(b, p);
                // The rest of the match, for a stretch that starts inside it.
                if (i == 0 && skipEnd - p >= kMinMatch)
                    matches_.push_back({static_cast<int>(skipEnd - p), skipDistance});
                continue;
            }
            const int count =
                chains_.find(b, p, std::min(kMaxMatch, end - p), depth_, kMaxMatch, found);
            chains_.insert(b, p);
            if (count > 0 && found[count - 1].length >= kLongMatch) {
                stop = i;
                taken = found[count - 1];
                break;
            }
            matches_.insert(matches_.end(), found, found + count);
            if (count > 0 && found[count - 1].length >= kSkip &&
                p + found[count - 1].length > skipEnd) {
                skipDistance = found[count - 1].distance;
                skipEnd = p + found[count - 1].length;
                skipFrom = p + kLook;
                skipTo = skipEnd - 1;
            }
        }
        firstMatch_[static_cast<size_t>(stop)] = static_cast<uint32_t>(matches_.size());

        const PriceTable price(prices);
        uint64_t* best = best_.data();
        std::fill(best, best + stop + 1, UINT64_MAX);
        best[0] = 0;
        // Each entry holds a cost in its high half and the step that reaches it
        // in its low half, so that one comparison keeps the cheaper.
        auto relax = [&](int at, uint32_t c, uint32_t how) {
            best[at] = std::min(best[at], (static_cast<uint64_t>(c) << 32) | how);
        };
        for (int i = 0; i < stop; ++i) {
            const uint32_t here = static_cast<uint32_t>(best[i] >> 32);
            relax(i + 1, here + price.literal[b[pos + i]], 1);
            int from = kMinMatch;
            for (uint32_t k = firstMatch_[static_cast<size_t>(i)];
                 k < firstMatch_[static_cast<size_t>(i) + 1]; ++k) {
                const int top = std::min(matches_[k].length, stop - i);
                const uint32_t d = static_cast<uint32_t>(matches_[k].distance);
                const uint32_t base = here + price.distance[bitLength(d - 1)];
                const uint32_t tag = d << 9;
                const int full = std::min(top, kFullPricing);
                for (int len = from; len <= full; ++len)
                    relax(i + len, base + price.length[len], tag | static_cast<uint32_t>(len));
                for (int len = std::max(full + 1, top - 1); len <= top; ++len)
                    relax(i + len, base + price.length[len], tag | static_cast<uint32_t>(len));
                from = std::max(from, matches_[k].length + 1);
            }
        }
        // Walk the cheapest path back from its end, then emit it forwards.
        path_.clear();
        for (int i = stop; i > 0;) {
            const uint32_t how = static_cast<uint32_t>(best[i]);
            const int len = static_cast<int>(how & 0x1FF);
            path_.push_back(len == 1 ? literalSymbol(b[pos + i - 1]) : matchSymbol(len, how >> 9));
            i -= len;
        }
        for (auto it = path_.rbegin(); it != path_.rend(); ++it)
            emit(*it);
        pos += stop;
        sincePrices += stop;
        if (taken.length) {
            emit(matchSymbol(taken.length, static_cast<uint32_t>(taken.distance)));
            const int32_t matchEnd = pos + taken.length;
            int32_t from = pos + 1;
            if (taken.length == kMaxMatch && taken.distance <= kRunPeriod)
                from = std::max(from, matchEnd - kRunTail);
            for (int32_t p = from; p < matchEnd && p <= lastStart; ++p)
                chains_.insert(b, p);
            sincePrices += taken.length;
            pos = matchEnd;
        }
        if (sincePrices >= kPriceStretch) {
            prices.update();
            sincePrices = 0;
        }
    }
}

// Until the text has taught it better, the prices are guesses; the opening
// stretch (a short segment: all of it) is parsed once with them only to learn
// the prices it is then parsed with, together with the rest of the segment.
void ChainParser::parse(const uint8_t* b, size_t history, size_t size,
                        std::vector<uint32_t>& symbols) {
    const size_t start = symbols.size();
    Prices prices(positionSymbols(windowBits_));
    const size_t learn = size - history <= kLearnWhole ? size : std::min(size, history + kStretch);
    pass(b, history, learn, prices, symbols);
    symbols.resize(start);
    prices.update();
    prices.forgetCounts();
    pass(b, history, size, prices, symbols);
}

} // namespace lha

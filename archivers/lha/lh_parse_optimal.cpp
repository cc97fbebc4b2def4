#include "lh_parse.h"

#include <algorithm>

namespace lha {

namespace {

constexpr int kParseChunk = 8192; // positions priced together before the path is chosen
constexpr int kSearchDepth = 16;  // tree nodes visited per position
constexpr int kFullPricing = 16;  // longer matches are priced at their full length only

} // namespace

OptimalParser::OptimalParser(int windowBits) : windowBits_(windowBits), trees_(windowBits) {}

// Optimal parsing over chunks: for each position the matches of increasing
// length are found in binary trees, and the cheapest way to reach every
// position of the chunk (by a literal or a match) is priced with the bit costs
// learnt from the text before. A match of the longest length ends the chunk
// early and is taken as it is, which keeps long runs fast.
void OptimalParser::parse(const uint8_t* b, size_t history, size_t size, lz::Symbols& symbols) {
    const int32_t end = static_cast<int32_t>(size);
    trees_.reset();
    for (int32_t pos = 0; pos < static_cast<int32_t>(history); ++pos)
        trees_.insert(b, pos, end, kSearchDepth, nullptr);

    Prices prices(positionSymbols(windowBits_));
    Match found[kMaxMatch];
    std::vector<uint32_t> cost(kParseChunk + 1);
    // How each position is reached: bits 0-8 the length (1 for a literal),
    // bits 9-24 the distance.
    std::vector<uint32_t> step(kParseChunk + 1);
    std::vector<uint32_t> path;
    std::vector<Match> matches; // the chunk's matches, position by position
    std::vector<uint32_t> firstMatch(kParseChunk + 1);

    int32_t pos = static_cast<int32_t>(history);
    while (pos < end) {
        const int n = static_cast<int>(std::min<int32_t>(kParseChunk, end - pos));
        int stop = n;      // where the priced path ends
        Match taken{0, 0}; // a match of the longest length, taken after it
        matches.clear();
        for (int i = 0; i < n; ++i) {
            firstMatch[i] = static_cast<uint32_t>(matches.size());
            const int count = trees_.insert(b, pos + i, end, kSearchDepth, found);
            if (count > 0 && found[count - 1].length == kMaxMatch) {
                stop = i;
                taken = found[count - 1];
                break;
            }
            matches.insert(matches.end(), found, found + count);
        }
        firstMatch[stop] = static_cast<uint32_t>(matches.size());

        // The cheapest way to reach each position of [0, stop]: by a literal, or
        // by a match of any length up to kFullPricing, or the match's full length.
        const PriceTable price(prices);
        std::fill(cost.begin(), cost.begin() + stop + 1, UINT32_MAX);
        cost[0] = 0;
        for (int i = 0; i < stop; ++i) {
            const uint32_t here = cost[i];
            uint32_t lit = here + price.literal[b[pos + i]];
            if (lit < cost[i + 1]) {
                cost[i + 1] = lit;
                step[i + 1] = 1;
            }
            int from = kMinMatch;
            for (uint32_t k = firstMatch[i]; k < firstMatch[i + 1]; ++k) {
                const int top = std::min(matches[k].length, stop - i);
                const uint32_t d = static_cast<uint32_t>(matches[k].distance);
                const uint32_t base = here + price.distance[bitLength(d - 1)];
                const uint32_t tag = d << 9;
                const int full = std::min(top, kFullPricing);
                for (int len = from; len <= full; ++len) {
                    uint32_t c = base + price.length[len];
                    if (c < cost[i + len]) {
                        cost[i + len] = c;
                        step[i + len] = tag | static_cast<uint32_t>(len);
                    }
                }
                if (top > full && top >= from) {
                    uint32_t c = base + price.length[top];
                    if (c < cost[i + top]) {
                        cost[i + top] = c;
                        step[i + top] = tag | static_cast<uint32_t>(top);
                    }
                }
                from = std::max(from, matches[k].length + 1);
            }
        }
        // Walk the cheapest path back from its end, then emit it forwards.
        path.clear();
        for (int i = stop; i > 0;) {
            const int len = static_cast<int>(step[i] & 0x1FF);
            path.push_back(len == 1 ? literalSymbol(b[pos + i - 1])
                                    : matchSymbol(len, step[i] >> 9));
            i -= len;
        }
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            symbols.push_back(*it);
            prices.count(*it);
        }
        pos += stop;
        if (taken.length) {
            uint32_t m = matchSymbol(taken.length, static_cast<uint32_t>(taken.distance));
            symbols.push_back(m);
            prices.count(m);
            for (int32_t k = pos + 1; k < pos + taken.length; ++k)
                trees_.insert(b, k, end, kSearchDepth, nullptr);
            pos += taken.length;
        }
        prices.update();
    }
}

} // namespace lha

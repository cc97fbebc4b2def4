// The cheapest-path parse shared by the LZH and deflate encoders: it turns a
// text into symbols (lz_symbols.h), choosing for each stretch of text the path
// that costs the fewest bits over the few matches the hash chains give at each
// position.
#pragma once

#include "huge_pages.h"
#include "lz_chains.h"
#include "lz_symbols.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lz {

// How hard the parse looks.
struct PathSettings {
    int depth;       // chain positions compared per search
    int longMatch;   // a match this long is taken without looking further
    int skip;        // a match this long is searched past only near its end
    int look;        // positions after such a match's start still searched
    int fullPricing; // longer matches are priced at their full length only
};

// Where a parse stands between calls: the match searched past (where it ends,
// its distance, the positions not searched) and the positions parsed since the
// prices were last updated.
struct PathState {
    int32_t skipEnd = 0;
    int32_t skipDistance = 0;
    int32_t skipFrom = 0;
    int32_t skipTo = 0;
    int32_t sincePrices = 0;
};

// The matches a parse found, stretch by stretch, so that a second parse of the
// same text can take them instead of searching again: what the chains find does
// not depend on the prices, only the path chosen through the matches does.
// The search puts its matches and their starts straight in here: `matches`
// holds `used` of them and room beyond, kept from text to text, and `first`
// is not cleared as it grows (arc::HugeVector), so that keeping them costs
// no copy.
struct MatchLog {
    std::vector<Match> matches;      // every stretch's matches, in order
    size_t used = 0;                 // of `matches`
    arc::HugeVector<uint32_t> first; // per stretch, stop + 1 entries: where
                                     // each position's matches start
    std::vector<int32_t> stops;      // per stretch: where its priced path ends
    std::vector<Match> taken;        // per stretch: the long match taken after it
    void clear() {
        used = 0;
        first.clear();
        stops.clear();
        taken.clear();
    }
};

// What a parse does with the matches: search for them; search, keep them in a
// MatchLog and take at each position the longest (a parse that only learns
// the prices of a text parsed again: on 1,000 headers this teaches them as
// well as the cheapest path, at a fraction of the cost); or take those a Learn
// parse of the same text kept.
enum class MatchSource { Search, Learn, Replay };

// The path through a stretch: per position its cost, how it is reached, and
// where its matches start in `matches`; the matches a parse kept. Kept from
// call to call.
struct PathBuffers {
    std::vector<uint64_t> best;
    std::vector<uint32_t> firstMatch;
    std::vector<Match> matches;
    std::vector<uint32_t> path;
    MatchLog log;
};

// -log2 of a symbol's share `count / total`, in sixteenths of a bit (the unit
// of the prices the parse weighs), at most `maxBits` bits.
inline uint32_t bitPrice(uint64_t count, uint64_t total, double maxBits) {
    const double bits = std::log2(static_cast<double>(total) / static_cast<double>(count));
    return static_cast<uint32_t>(std::min(bits, maxBits) * 16.0 + 0.5);
}

// bitPrice of shares of one total. Most symbols of a table are rare, many of
// them unseen, so that a handful of small counts come up again and again:
// each of those is worked out once.
class SharePrices {
public:
    SharePrices(uint64_t total, double maxBits) : total_(total), maxBits_(maxBits) {}
    uint32_t operator()(uint64_t count) {
        if (count >= kRemembered)
            return bitPrice(count, total_, maxBits_);
        if (!known_[count]) {
            price_[count] = bitPrice(count, total_, maxBits_);
            known_[count] = true;
        }
        return price_[count];
    }

private:
    static constexpr uint64_t kRemembered = 64;
    uint64_t total_;
    double maxBits_;
    uint32_t price_[kRemembered];
    bool known_[kRemembered] = {};
};

constexpr int kPathStretch = 4096;  // positions priced together before the path is chosen
constexpr int kPriceStretch = 8192; // positions parsed between price updates
constexpr int kRunPeriod = 15;      // a match at this distance or less repeats a short pattern
constexpr int kRunTail = 8;         // positions added at the end of a run

// Until the text has taught it better, a parse prices with guesses; a first
// pass that only learns the prices ends here: a text of up to kLearnWhole bytes
// after its history is parsed twice whole, a longer one learns from its first
// stretch.
constexpr size_t kLearnWhole = size_t{1} << 16;
inline size_t learnUntil(size_t history, size_t size) {
    return size - history <= kLearnWhole ? size : history + kPathStretch;
}

// Searches the `n` positions of a stretch from `pos` (cheapestPath's first
// step): puts their matches in `into` from its `used`-th on, where each
// position's start in first[0, stop] (entry `stop` the end), and returns
// where they end. A match of s.longMatch bytes ends the stretch early: `stop`
// is set to its position and `taken` to it.
template <int kMaxMatch>
size_t gatherMatches(const uint8_t* b, int32_t pos, int n, int32_t end, HashChains& chains,
                     const PathSettings& s, PathState& st, std::vector<Match>& into, size_t used,
                     uint32_t* first, int& stop, Match& taken) {
    const int32_t lastStart = end - kMinMatch;
    // The matches are found in place: `room` keeps space for the most one
    // search can give beyond those already gathered.
    auto room = [&](size_t more) {
        if (into.size() < used + more)
            into.resize(std::max(2 * into.size(), used + more));
        return into.data() + used;
    };
    for (int i = 0; i < n; ++i) {
        first[i] = static_cast<uint32_t>(used);
        const int32_t p = pos + i;
        if (p > lastStart)
            continue;
        if (p >= st.skipFrom && p < st.skipTo) {
            chains.insert(b, p);
            if (i == 0 && st.skipEnd - p >= kMinMatch) {
                *room(1) = {static_cast<int>(st.skipEnd - p), st.skipDistance};
                ++used;
            }
            continue;
        }
        Match* const found = room(kMaxMatch);
        const int count =
            chains.findAndInsert(b, p, std::min(kMaxMatch, end - p), s.depth, kMaxMatch, found);
        if (count == 0)
            continue;
        const Match longest = found[count - 1];
        if (longest.length >= s.longMatch) {
            stop = i;
            taken = longest;
            break;
        }
        used += static_cast<size_t>(count);
        if (longest.length >= s.skip && p + longest.length > st.skipEnd) {
            st.skipDistance = longest.distance;
            st.skipEnd = p + longest.length;
            st.skipFrom = p + s.look;
            st.skipTo = st.skipEnd - 1;
        }
    }
    first[stop] = static_cast<uint32_t>(used);
    return used;
}

// The cheapest path through a stretch of `stop` positions of the text at `b`,
// each position's matches being matches[first[i], first[i + 1]), priced by
// `prices`; its symbols go to `emit` in order (cheapestPath's second step).
template <class Table, class Prices, class Emit>
void cheapestSteps(const uint8_t* b, int stop, const Match* matches, const uint32_t* first,
                   const PathSettings& s, PathBuffers& buf, const Prices& prices, Emit&& emit) {
    const Table price(prices);
    uint64_t* best = buf.best.data();
    std::fill(best + 1, best + stop + 1, UINT64_MAX);
    // Each entry holds a cost in its high half and the step that reaches it
    // in its low half, so that one comparison keeps the cheaper.
    auto relax = [&](int at, uint32_t c, uint32_t how) {
        best[at] = std::min(best[at], (static_cast<uint64_t>(c) << 32) | how);
    };
    // The entry of the position in hand stays in a register: no match reaches
    // the next position (a match has at least three bytes), so the literal
    // settles it, and reading it back from memory would put a store and a
    // load on the path from each position to the next. Position 0 costs
    // nothing; its entry in `best` is never read.
    uint64_t reached = 0;
    for (int i = 0; i < stop; ++i) {
        const uint32_t here = static_cast<uint32_t>(reached >> 32);
        reached =
            std::min(best[i + 1], (static_cast<uint64_t>(here + price.literal[b[i]]) << 32) | 1);
        best[i + 1] = reached;
        int shortest = kMinMatch;
        for (uint32_t k = first[i]; k < first[i + 1]; ++k) {
            const int top = std::min(matches[k].length, stop - i);
            const uint32_t d = static_cast<uint32_t>(matches[k].distance);
            const uint32_t base = here + price.distance[Table::slot(d - 1)];
            const uint32_t tag = d << 9;
            const int full = std::min(top, s.fullPricing);
            for (int len = shortest; len <= full; ++len)
                relax(i + len, base + price.length[len], tag | static_cast<uint32_t>(len));
            for (int len = std::max(full + 1, top - 1); len <= top; ++len)
                relax(i + len, base + price.length[len], tag | static_cast<uint32_t>(len));
            shortest = std::max(shortest, matches[k].length + 1);
        }
    }
    // Walk the cheapest path back from its end, then emit it forwards.
    buf.path.clear();
    for (int i = stop; i > 0;) {
        const uint32_t how = static_cast<uint32_t>(best[i]);
        const int len = static_cast<int>(how & 0x1FF);
        buf.path.push_back(len == 1 ? literalSymbol(b[i - 1]) : matchSymbol(len, how >> 9));
        i -= len;
    }
    for (auto it = buf.path.rbegin(); it != buf.path.rend(); ++it)
        emit(*it);
}

// A stretch taken the quick way, for a parse that only learns prices: at each
// position its longest match, a literal where there is none.
template <class Emit>
void longestSteps(const uint8_t* b, int stop, const Match* matches, const uint32_t* first,
                  Emit&& emit) {
    for (int i = 0; i < stop;) {
        const int len =
            first[i + 1] > first[i] ? std::min(matches[first[i + 1] - 1].length, stop - i) : 0;
        if (len >= kMinMatch) {
            emit(matchSymbol(len, static_cast<uint32_t>(matches[first[i + 1] - 1].distance)));
            i += len;
        } else {
            emit(literalSymbol(b[i]));
            ++i;
        }
    }
}

// Parses the text `b` of `size` bytes from position `from` to at least `until`
// and returns where it stopped (past `until` when a match runs over it). The
// chains must hold the positions before `from` that matches may use.
//  - Every position is reached by a literal, or by one of its matches at any
//    length up to fullPricing, or at its full length or one byte less.
//  - A match of `skip` bytes or more is searched past: the positions after its
//    first `look` are only added to the chains, up to its last byte, where the
//    search resumes so that the next match may start before its end. The first
//    position of a stretch among them is given the rest of that match, so that
//    the stretch's path can begin inside it.
//  - A match of `longMatch` bytes ends the stretch: the path is chosen up to
//    its start and the match is taken as it is; a run of a short pattern as
//    long as a match can be adds only its last positions to the chains, so
//    that long repeats cost little.
// With MatchSource::Learn the matches are also kept in buf.log (cleared
// first) and the longest is taken at each position; with Replay they are
// taken from buf.log, kept by a Learn parse of the same text, `from`, `until`
// and state, and the chains are neither searched nor changed.
// `Prices` counts the symbols (count) and turns the counts into prices
// (update); `Table` lays the prices out for the inner loop: literal[256],
// length[kMaxMatch + 1], distance[], with `slot(distance - 1)` the index into
// distance and `kMaxMatch` the longest match of the format.
// Each symbol goes to `emit`, which counts it in `prices`.
template <class Table, class Prices, class Emit>
size_t walkPath(const uint8_t* b, size_t from, size_t until, size_t size, HashChains& chains,
                const PathSettings& s, PathState& st, PathBuffers& buf, Prices& prices,
                MatchSource source, Emit&& emit) {
    constexpr int kMaxMatch = Table::kMaxMatch;
    const int32_t end = static_cast<int32_t>(size);
    const int32_t stopAt = static_cast<int32_t>(until);
    const int32_t lastStart = end - kMinMatch; // the last position a match can start at
    // Sized to the text, so that a short one costs little.
    const size_t positions = std::min<size_t>(kPathStretch, until - from) + 1;
    if (buf.best.size() < positions) {
        buf.best.resize(positions);
        buf.firstMatch.resize(positions);
    }
    MatchLog& log = buf.log;
    if (source == MatchSource::Learn)
        log.clear();
    size_t stretch = 0; // the stretches replayed so far
    size_t firstAt = 0; // where the next stretch's entries start in log.first
    int32_t pos = static_cast<int32_t>(from);
    while (pos < stopAt) {
        const int n = static_cast<int>(std::min<int32_t>(kPathStretch, stopAt - pos));
        int stop = n; // where the priced path ends
        Match taken;
        const Match* matches = buf.matches.data();
        const uint32_t* first = buf.firstMatch.data();
        if (source == MatchSource::Replay) {
            stop = log.stops[stretch];
            taken = log.taken[stretch];
            ++stretch;
            matches = log.matches.data();
            first = log.first.data() + firstAt;
            firstAt += static_cast<size_t>(stop) + 1;
        } else if (source == MatchSource::Learn) {
            const size_t at = log.first.size();
            log.first.resize(at + static_cast<size_t>(n) + 1);
            log.used = gatherMatches<kMaxMatch>(b, pos, n, end, chains, s, st, log.matches,
                                                log.used, log.first.data() + at, stop, taken);
            log.first.resize(at + static_cast<size_t>(stop) + 1);
            log.stops.push_back(stop);
            log.taken.push_back(taken);
            matches = log.matches.data();
            first = log.first.data() + at;
        } else {
            gatherMatches<kMaxMatch>(b, pos, n, end, chains, s, st, buf.matches, 0,
                                     buf.firstMatch.data(), stop, taken);
            matches = buf.matches.data();
        }

        if (source == MatchSource::Learn)
            longestSteps(b + pos, stop, matches, first, emit);
        else
            cheapestSteps<Table>(b + pos, stop, matches, first, s, buf, prices, emit);
        pos += stop;
        st.sincePrices += stop;
        if (taken.length) {
            emit(matchSymbol(taken.length, static_cast<uint32_t>(taken.distance)));
            const int32_t matchEnd = pos + taken.length;
            int32_t next = pos + 1;
            if (taken.length == kMaxMatch && taken.distance <= kRunPeriod)
                next = std::max(next, matchEnd - kRunTail);
            if (source != MatchSource::Replay)
                for (int32_t p = next; p < matchEnd && p <= lastStart; ++p)
                    chains.insert(b, p);
            st.sincePrices += taken.length;
            pos = matchEnd;
        }
        if (st.sincePrices >= kPriceStretch) {
            prices.update();
            st.sincePrices = 0;
        }
    }
    return static_cast<size_t>(pos);
}

// walkPath with each symbol appended to `symbols` and counted.
template <class Table, class Prices>
size_t cheapestPath(const uint8_t* b, size_t from, size_t until, size_t size, HashChains& chains,
                    const PathSettings& s, PathState& st, PathBuffers& buf, Prices& prices,
                    Symbols& symbols, MatchSource source = MatchSource::Search) {
    return walkPath<Table>(b, from, until, size, chains, s, st, buf, prices, source,
                           [&](uint32_t sym) {
                               symbols.push_back(sym);
                               prices.count(sym);
                           });
}

// Learns the prices of the text `b` of `size` bytes: parses it from `history`
// to learnUntil with the guesses `prices` holds, on chains reset for it,
// counting the symbols only, then turns the counts into prices and forgets
// the counts. A parse with the learnt prices starts on chains reset again,
// or, when that parse is of the whole text (`source` Learn, learnUntil the
// text's end), replays the matches this one kept in buf.log.
template <class Table, class Prices>
void learnPrices(const uint8_t* b, size_t history, size_t size, HashChains& chains,
                 const PathSettings& s, PathBuffers& buf, Prices& prices,
                 MatchSource source = MatchSource::Search) {
    chains.reset(b, history, size);
    PathState st;
    walkPath<Table>(b, history, learnUntil(history, size), size, chains, s, st, buf, prices, source,
                    [&](uint32_t sym) { prices.count(sym); });
    prices.update();
    prices.forgetCounts();
}

} // namespace lz

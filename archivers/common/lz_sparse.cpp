#include "lz_sparse.h"

#include "lz_chains.h"
#include "lz_symbols.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lz {

namespace {

// 2^16 heads: few positions of a window share one, so that the head is the
// closest copy of the three bytes nearly always; the table stays in the cache.
constexpr int kHashBits = 16;
// A head holds a position + 1 in its low kPositionBits and, above them, a tag
// of the three bytes there (more bits of their hash), so that a head of other
// bytes is told without a look at the text nearly always. A call parses at
// most kMostBytes at once, so that its positions, the window before them
// included, fit.
constexpr int kPositionBits = 21;
constexpr uint32_t kPositionMask = (1u << kPositionBits) - 1;
constexpr size_t kMostBytes = size_t{1} << 20;
// Chain positions compared at a hit.
constexpr int kDepth = 16;
// A match this long is taken at once: no longer one is looked for, at the
// position or after it.
constexpr int kNice = 64;

// The three bytes a match starts with at the least (kMinMatch), read as four
// (one load instead of three): a position needs a fourth byte after it.
constexpr size_t kRead = 4;
uint32_t load24(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, kRead);
    if constexpr (std::endian::native == std::endian::little)
        return v & 0xFFFFFF;
    else
        return v >> 8;
}

uint32_t mix(uint32_t threeBytes) {
    return threeBytes * 2654435761u;
}
uint32_t hashOf(uint32_t mixed) {
    return mixed >> (32 - kHashBits);
}
uint32_t tagOf(uint32_t mixed) {
    return mixed << kHashBits & ~kPositionMask;
}

// The tables of one parse, positions counted from `b`.
struct Heads {
    const uint8_t* b;
    uint32_t* head;
    uint32_t* prev;
    size_t mask;        // of a position's entry in prev
    size_t maxDistance; // the farthest a match may reach back

    // Adds position p (kRead bytes must follow it); returns the head it
    // replaced when that has the same tag within reach, else 0.
    uint32_t insert(size_t p) const {
        const uint32_t mixed = mix(load24(b + p));
        uint32_t& slot = head[hashOf(mixed)];
        const uint32_t before = slot;
        const uint32_t tag = tagOf(mixed);
        slot = tag | static_cast<uint32_t>(p + 1);
        const uint32_t position = before & kPositionMask;
        prev[p & mask] = position;
        return (before & ~kPositionMask) == tag && position != 0 &&
                       p - (position - 1) <= maxDistance
                   ? position
                   : 0;
    }

    // Adds the positions from p on up to the first whose insert() gives a
    // head, which goes to `candidate`; returns that position, or the first
    // past the last one kRead bytes before `end`. Nearly every position of
    // nearly-noise data ends here: a loop of its own, with nothing else to
    // keep, takes them at a few instructions each.
    size_t scan(size_t p, size_t end, uint32_t& candidate) const {
        for (; p + kRead <= end; ++p)
            if ((candidate = insert(p)) != 0)
                break;
        return p;
    }
};

} // namespace

SparseParser::SparseParser(int windowBits, int maxMatch)
    : windowBits_(windowBits), maxMatch_(maxMatch), head_(size_t{1} << kHashBits),
      prev_(std::make_unique_for_overwrite<uint32_t[]>(size_t{1} << windowBits)) {}

void SparseParser::parse(const uint8_t* text, size_t history, size_t size, Symbols& symbols) {
    for (size_t at = history; at < size; at += kMostBytes)
        parseSome(text, at, std::min(size, at + kMostBytes), symbols);
}

void SparseParser::parseSome(const uint8_t* text, size_t history, size_t size, Symbols& symbols) {
    const size_t mask = (size_t{1} << windowBits_) - 1;
    const size_t maxDistance = mask;
    // Positions count from the oldest byte a match may reach, so that they
    // fit kPositionBits.
    const size_t from = history > maxDistance ? history - maxDistance : 0;
    const uint8_t* const b = text + from;
    const size_t start = history - from;
    const size_t end = size - from;
    constexpr size_t kMin = static_cast<size_t>(kMinMatch);
    std::fill(head_.begin(), head_.end(), 0u);
    const Heads heads{b, head_.data(), prev_.get(), mask, maxDistance};
    // The longest match at p among the chain from `candidate` (what insert
    // returned), walked only when that holds the same first bytes; 0 when
    // there is none.
    auto longest = [&](size_t p, uint32_t candidate, uint32_t& distance) {
        if (candidate == 0)
            return 0;
        size_t q = candidate - 1;
        const uint32_t first = load24(b + p);
        if (load24(b + q) != first)
            return 0;
        const int limit =
            static_cast<int>(std::min<size_t>(static_cast<size_t>(maxMatch_), end - p));
        int best = 0;
        for (int depth = kDepth;;) {
            if (load24(b + q) == first) {
                const int length =
                    kMinMatch + matchLength(b + q + kMin, b + p + kMin, limit - kMinMatch);
                if (length > best) {
                    best = length;
                    distance = static_cast<uint32_t>(p - q);
                    if (length >= kNice || length >= limit)
                        break;
                }
            }
            const uint32_t before = heads.prev[q & mask];
            if (--depth == 0 || before == 0 || p - (before - 1) > maxDistance)
                break;
            q = before - 1;
        }
        return best;
    };

    for (size_t p = 0; p < start && p + kRead <= end; ++p)
        heads.insert(p);
    size_t literal = start; // the first byte not coded yet
    size_t next = start;    // the first position not added yet
    size_t p = start;
    for (;;) {
        uint32_t candidate = 0;
        p = heads.scan(p, end, candidate);
        if (p + kRead > end)
            break;
        uint32_t distance = 0;
        next = p + 1;
        int length = longest(p, candidate, distance);
        if (length == 0) {
            ++p;
            continue;
        }
        // A lazy match: the next position may start a longer one.
        while (length < kNice && p + 1 + kRead <= end) {
            uint32_t distance2 = 0;
            next = p + 2;
            const int length2 = longest(p + 1, heads.insert(p + 1), distance2);
            if (length2 <= length)
                break;
            ++p;
            length = length2;
            distance = distance2;
        }
        // The bytes before the match may belong to it too.
        while (p > literal && p > distance && length < maxMatch_ &&
               b[p - 1] == b[p - 1 - distance]) {
            --p;
            ++length;
        }
        // Bytes are their own symbols (lz_symbols.h).
        appendLiterals(symbols, b + literal, p - literal);
        symbols.push_back(matchSymbol(length, distance));
        p += static_cast<size_t>(length);
        for (; next < p && next + kRead <= end; ++next)
            heads.insert(next);
        literal = p;
    }
    appendLiterals(symbols, b + literal, end - literal);
}

} // namespace lz

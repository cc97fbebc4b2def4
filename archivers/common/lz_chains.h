// The hash-chain match finder shared by the LZH and deflate encoders. It
// indexes the positions of one text and, for a position, looks for earlier text
// equal to the text there, at distances below the window size: per hash of
// three bytes and per hash of four bytes the last position (the closest three-
// and four-byte matches), and chains of the earlier positions with an equal
// hash of the first six bytes, most recent first. Chains on six bytes hold
// fewer positions that lead nowhere than chains on four, so that the same
// depth reaches farther.
#pragma once

#include "lz_symbols.h"
#include <cstddef>

#include <cstdint>
#include <memory>
#include <vector>

namespace lz {

struct Match {
    int length = 0; // 0 when none of at least three bytes was found
    int32_t distance = 0;
};

class HashChains {
public:
    explicit HashChains(int windowBits);

    // Forgets every position, for a new text of `size` bytes (the hash tables
    // are sized to it, so that a small text costs little).
    void reset(size_t size);
    // reset() for a text of `size` bytes whose first `history` bytes are
    // already in the window: their positions are added.
    void reset(const uint8_t* text, size_t history, size_t size) {
        reset(size);
        for (size_t p = 0; p < history && p + kMinMatch <= size; ++p)
            insert(text, static_cast<int32_t>(p));
    }
    // Adds position `pos` of the text (at least three bytes must follow it).
    void insert(const uint8_t* text, int32_t pos) { replace(text, pos); }
    // Adds position `pos` (as insert does) and returns the matches for the text
    // there, at most `limit` bytes long, among the positions added before it,
    // closest first: each one stored in `found` is longer and farther than the
    // one before, the last is the longest (the closest of its length). Returns
    // their count. At most `depth` positions are compared, and the search stops
    // at a match of `nice` bytes. A match of three bytes only is looked for at
    // the last position added with the same three-byte hash, one of four or five
    // bytes at the last position with the same four-byte hash.
    int findAndInsert(const uint8_t* text, int32_t pos, int limit, int depth, int nice,
                      Match* found);

private:
    // What the tables held for a position's hashes before it: the last
    // positions with its three- and four-byte hashes and the head of its
    // six-byte chain (-1 where the text is too short for the hash).
    struct Heads {
        int32_t three = -1;
        int32_t four = -1;
        int32_t chain = -1;
    };
    // Puts position `pos` in the tables, each hash worked out once, and returns
    // what it replaced.
    Heads replace(const uint8_t* text, int32_t pos) {
        Heads old;
        const uint8_t* here = text + pos;
        const uint32_t h3 = hash3(here);
        old.three = head3_[h3];
        head3_[h3] = pos;
        if (pos + 4 > size_)
            return old;
        const uint32_t h4 = hash4(here);
        old.four = head4_[h4];
        head4_[h4] = pos;
        if (pos + 8 <= size_) {
            const uint32_t h6 = hash6(here);
            old.chain = chains_[h6];
            link(h6, pos);
        }
        return old;
    }
    // The three bytes at p as a little-endian number, read without touching a
    // fourth (the last match can start three bytes before the end).
    static uint32_t load3(const uint8_t* p) {
        uint16_t low;
        __builtin_memcpy(&low, p, 2);
        return low | static_cast<uint32_t>(p[2]) << 16;
    }
    static uint32_t load4(const uint8_t* p) {
        uint32_t v;
        __builtin_memcpy(&v, p, 4);
        return v;
    }
    uint32_t hash3(const uint8_t* p) const { return (load3(p) * 2654435761u) >> hashShift_; }
    uint32_t hash4(const uint8_t* p) const { return (load4(p) * 2654435761u) >> hashShift_; }
    // Of the six bytes at p (eight must be readable).
    uint32_t hash6(const uint8_t* p) const {
        uint64_t v;
        __builtin_memcpy(&v, p, 8);
        return static_cast<uint32_t>(((v << 16) * 0x9E3779B97F4A7C15ull) >> (32 + hashShift_));
    }
    // The chain head for hash `h` becomes `pos`, ahead of the one before.
    void link(uint32_t h, int32_t pos) {
        prev_[static_cast<size_t>(pos & mask_)] = chains_[h];
        chains_[h] = pos;
    }

    int32_t mask_;
    int32_t maxDistance_;
    int32_t size_ = 0;
    int hashShift_ = 32;
    // The last position of each hash of three bytes: the closest three-byte match.
    std::vector<int32_t> head3_;
    // The last position of each hash of four bytes: the closest four-byte match.
    std::vector<int32_t> head4_;
    // The heads of the chains of positions with equal hashes of six bytes, the
    // longer matches.
    std::vector<int32_t> chains_;
    // The position added before each one with the same hash, indexed by position
    // modulo the window. Entries are written before they are read (a chain never
    // reaches a position farther back than the window), so it is never cleared.
    std::unique_ptr<int32_t[]> prev_;
};

// Bytes equal at a and b, at most `limit`.
inline int matchLength(const uint8_t* a, const uint8_t* b, int limit) {
    int n = 0;
    while (n + 8 <= limit) {
        uint64_t x;
        uint64_t y;
        __builtin_memcpy(&x, a + n, 8);
        __builtin_memcpy(&y, b + n, 8);
        if (x != y)
            return n + (__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

} // namespace lz

#include "lh_match.h"

#include "lh_block.h"

#include <algorithm>

namespace lha {

namespace {

constexpr int kTreeHashBits = 14;

inline uint32_t treeHash(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                 (static_cast<uint32_t>(p[2]) << 16);
    return (v * 2654435761u) >> (32 - kTreeHashBits);
}

} // namespace

BinaryTrees::BinaryTrees(int windowBits)
    : mask_((1 << windowBits) - 1), maxDistance_((1 << windowBits) - 1) {}

void BinaryTrees::reset() {
    head_.assign(size_t{1} << kTreeHashBits, -1);
    tree_.assign(2 * (static_cast<size_t>(mask_) + 1), -1);
}

// Looking a position up also makes it the tree's new root: the walk down
// splits the tree into the positions whose text sorts below it and those
// above. Every node under the two bounds shares at least as many leading
// bytes with the new text as the bounds do, so comparisons start there.
int BinaryTrees::insert(const uint8_t* text, int32_t pos, int32_t end, int depth, Match* found) {
    const int limit = std::min(kMaxMatch, end - pos);
    if (limit < kMinMatch)
        return 0;
    const uint32_t h = treeHash(text + pos);
    int32_t cand = head_[h];
    head_[h] = pos;
    int32_t* below = &tree_[2 * static_cast<size_t>(pos & mask_)];
    int32_t* above = below + 1;
    int lenBelow = 0;
    int lenAbove = 0;
    int best = kMinMatch - 1;
    int count = 0;
    while (cand >= 0 && pos - cand <= maxDistance_ && depth-- > 0) {
        int32_t* node = &tree_[2 * static_cast<size_t>(cand & mask_)];
        int len = std::min(lenBelow, lenAbove);
        len += matchLength(text + cand + len, text + pos + len, limit - len);
        if (len > best) {
            best = len;
            if (found)
                found[count++] = {len, pos - cand};
        }
        if (len >= limit) {
            if (limit == kMaxMatch) {
                // Equal as far as texts are compared: pos takes cand's place.
                *below = node[0];
                *above = node[1];
                return count;
            }
            break; // near the end: the shorter text cannot be placed exactly
        }
        if (text[cand + len] < text[pos + len]) {
            *below = cand;
            below = &node[1];
            cand = *below;
            lenBelow = len;
        } else {
            *above = cand;
            above = &node[0];
            cand = *above;
            lenAbove = len;
        }
    }
    *below = -1;
    *above = -1;
    return count;
}

} // namespace lha

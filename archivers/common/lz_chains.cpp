#include "lz_chains.h"

#include <algorithm>

namespace lz {

HashChains::HashChains(int windowBits)
    : mask_((1 << windowBits) - 1), maxDistance_((1 << windowBits) - 1),
      prev_(std::make_unique_for_overwrite<int32_t[]>(size_t{1} << windowBits)) {}

void HashChains::reset(size_t size) {
    // About one bucket per two positions, from 2^8 up to 2^15.
    int bits = 8;
    while (bits < 15 && (size_t{1} << (bits + 1)) < size)
        ++bits;
    hashShift_ = 32 - bits;
    size_ = static_cast<int32_t>(size);
    head3_.assign(size_t{1} << bits, -1);
    head4_.assign(size_t{1} << bits, -1);
    chains_.assign(size_t{1} << bits, -1);
}

int HashChains::findAndInsert(const uint8_t* text, int32_t pos, int limit, int depth, int nice,
                              Match* found) {
    const Heads heads = replace(text, pos);
    const int32_t close = heads.three;
    const int32_t close4 = heads.four;
    int32_t cand = heads.chain;
    const uint8_t* here = text + pos;
    if (limit < kMinMatch)
        return 0;
    int count = 0;
    int bestLen = kMinMatch - 1;
    if (close >= 0 && pos - close <= maxDistance_) {
        const int len = matchLength(text + close, here, limit);
        if (len > bestLen) {
            bestLen = len;
            found[count++] = {len, pos - close};
        }
    }
    if (limit < 4 || bestLen >= nice || bestLen >= limit)
        return count;
    // When the closest three-byte match has four bytes, it is also the closest
    // four-byte one.
    if (bestLen < 4 && close4 >= 0 && close4 != close && pos - close4 <= maxDistance_) {
        const int len = matchLength(text + close4, here, limit);
        if (len > bestLen) {
            bestLen = len;
            found[count++] = {len, pos - close4};
            if (bestLen >= nice || bestLen >= limit)
                return count;
        }
    }
    // A candidate must share the first four bytes and the four that end one
    // byte past the best match so far (the byte that would make it longer).
    const uint32_t head = load4(here);
    int probe = std::max(bestLen, 3) - 3;
    uint32_t ending = load4(here + probe);
    for (; cand >= 0 && pos - cand <= maxDistance_ && depth-- > 0;
         cand = prev_[static_cast<size_t>(cand & mask_)]) {
        const uint8_t* there = text + cand;
        if (load4(there + probe) != ending || load4(there) != head)
            continue;
        const int len = 4 + matchLength(there + 4, here + 4, limit - 4);
        if (len > bestLen) {
            bestLen = len;
            found[count++] = {len, pos - cand};
            if (len >= nice || len >= limit)
                break;
            probe = len - 3;
            ending = load4(here + probe);
        }
    }
    return count;
}

} // namespace lz

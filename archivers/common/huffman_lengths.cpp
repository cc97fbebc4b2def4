#include "huffman_lengths.h"

#include <algorithm>

namespace huff {

namespace {

constexpr int kMaxSymbols = 512; // the largest table of LZH (510) or deflate (288)

// Sorts the keys (a weight of at most `heaviest` in the high half, an index
// below kMaxSymbols in the low), given in index order, by weight and then
// index: a byte of the weight at a time from the lowest, each pass stable, so
// that equal weights keep their index order without passes over the index.
// For a few hundred keys several times quicker than a comparison sort.
void sortKeys(uint64_t* key, int m, uint32_t heaviest) {
    uint64_t other[kMaxSymbols];
    uint64_t* from = key;
    uint64_t* to = other;
    const int weightBits = heaviest ? 32 - __builtin_clz(heaviest) : 0;
    for (int shift = 32; shift < 32 + weightBits; shift += 8) {
        int count[257] = {};
        for (int i = 0; i < m; ++i)
            ++count[((from[i] >> shift) & 0xff) + 1];
        for (int b = 0; b < 256; ++b)
            count[b + 1] += count[b];
        for (int i = 0; i < m; ++i)
            to[count[(from[i] >> shift) & 0xff]++] = from[i];
        std::swap(from, to);
    }
    if (from != key)
        std::copy(from, from + m, key);
}

// Plain Huffman lengths by the two-queue method over leaves sorted by weight
// (equal weights in symbol order). Returns the longest length.
int huffmanLengths(const uint32_t* weight, const int* symbols, int m, uint8_t* len) {
    uint64_t key[kMaxSymbols];
    uint32_t heaviest = 0;
    for (int i = 0; i < m; ++i) {
        key[i] = (static_cast<uint64_t>(weight[i]) << 32) | static_cast<uint32_t>(i);
        heaviest = std::max(heaviest, weight[i]);
    }
    sortKeys(key, m, heaviest);
    const int total = 2 * m - 1;
    uint64_t w[2 * kMaxSymbols];
    int parent[2 * kMaxSymbols];
    for (int i = 0; i < m; ++i)
        w[i] = key[i] >> 32;
    int leaf = 0;
    int inner = m;
    auto takeSmallest = [&](int next) {
        if (leaf < m && (inner >= next || w[leaf] <= w[inner]))
            return leaf++;
        return inner++;
    };
    for (int k = m; k < total; ++k) {
        int a = takeSmallest(k);
        int b = takeSmallest(k);
        w[k] = w[a] + w[b];
        parent[a] = k;
        parent[b] = k;
    }
    int depth[2 * kMaxSymbols];
    depth[total - 1] = 0;
    int longest = 0;
    for (int k = total - 2; k >= 0; --k) {
        depth[k] = depth[parent[k]] + 1;
        if (k < m) {
            len[symbols[static_cast<uint32_t>(key[k])]] = static_cast<uint8_t>(depth[k]);
            longest = std::max(longest, depth[k]);
        }
    }
    return longest;
}

} // namespace

void buildCodeLengths(const uint32_t* freq, int n, int limit, uint8_t* len) {
    int symbols[kMaxSymbols];
    uint32_t weight[kMaxSymbols];
    std::fill(len, len + n, uint8_t{0});
    // The symbols that occur, gathered without a branch: which of them do is
    // as good as random, a branch on it mispredicted every other time.
    int m = 0;
    for (int i = 0; i < n; ++i) {
        symbols[m] = i;
        weight[m] = freq[i];
        m += freq[i] != 0;
    }
    if (m < 2)
        return;
    // When the optimal tree is too deep, flatten the weights and build again:
    // each round halves the spread between rare and common symbols.
    while (huffmanLengths(weight, symbols, m, len) > limit) {
        for (int i = 0; i < m; ++i)
            weight[i] = (weight[i] >> 1) | 1;
    }
}

void buildCanonicalCodes(const uint8_t* len, int n, uint16_t* code) {
    unsigned count[kMaxCanonicalBits + 1] = {};
    for (int i = 0; i < n; ++i)
        ++count[len[i]];
    count[0] = 0;
    unsigned next[kMaxCanonicalBits + 1] = {};
    unsigned c = 0;
    for (int bits = 1; bits <= kMaxCanonicalBits; ++bits) {
        c = (c + count[bits - 1]) << 1;
        next[bits] = c;
    }
    for (int i = 0; i < n; ++i)
        code[i] = len[i] ? static_cast<uint16_t>(next[len[i]]++) : 0;
}

} // namespace huff

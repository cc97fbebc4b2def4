#include "lh_huffman.h"

#include <algorithm>
#include <vector>

namespace lha {

namespace {

// Plain Huffman lengths by the two-queue method over leaves sorted by weight.
// Returns the longest length.
int huffmanLengths(const std::vector<uint32_t>& weight, const std::vector<int>& symbols,
                   uint8_t* len) {
    const int m = static_cast<int>(symbols.size());
    std::vector<int> order(m);
    for (int i = 0; i < m; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return weight[a] < weight[b]; });
    const int total = 2 * m - 1;
    std::vector<uint64_t> w(total);
    std::vector<int> parent(total, -1);
    for (int i = 0; i < m; ++i)
        w[i] = weight[order[i]];
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
    std::vector<int> depth(total, 0);
    int longest = 0;
    for (int k = total - 2; k >= 0; --k) {
        depth[k] = depth[parent[k]] + 1;
        if (k < m) {
            len[symbols[order[k]]] = static_cast<uint8_t>(depth[k]);
            longest = std::max(longest, depth[k]);
        }
    }
    return longest;
}

} // namespace

void buildCodeLengths(const uint32_t* freq, int n, int limit, uint8_t* len) {
    std::vector<int> symbols;
    std::vector<uint32_t> weight;
    for (int i = 0; i < n; ++i) {
        len[i] = 0;
        if (freq[i]) {
            symbols.push_back(i);
            weight.push_back(freq[i]);
        }
    }
    if (symbols.size() < 2)
        return;
    // When the optimal tree is too deep, flatten the weights and build again:
    // each round halves the spread between rare and common symbols.
    while (huffmanLengths(weight, symbols, len) > limit) {
        for (auto& x : weight)
            x = (x >> 1) | 1;
    }
}

void buildCanonicalCodes(const uint8_t* len, int n, uint16_t* code) {
    unsigned count[kMaxCodeBits + 1] = {};
    for (int i = 0; i < n; ++i)
        ++count[len[i]];
    count[0] = 0;
    unsigned next[kMaxCodeBits + 2] = {};
    unsigned c = 0;
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
        c = (c + count[bits - 1]) << 1;
        next[bits] = c;
    }
    for (int i = 0; i < n; ++i)
        code[i] = len[i] ? static_cast<uint16_t>(next[len[i]]++) : 0;
}

} // namespace lha

#include "lh_huffman.h"

#include <algorithm>

namespace lha {

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

#include "lh_parse.h"

#include <algorithm>

namespace lha {

namespace {

// A symbol's price, at most the longest code of these methods (16 bits).
uint32_t bitPrice(uint64_t f, uint64_t total) {
    return lz::bitPrice(f, total, 16.0);
}

uint32_t extraBits(int p) {
    return static_cast<uint32_t>(p > 1 ? p - 1 : 0);
}

} // namespace

Prices::Prices(int positions) : np(positions) {
    for (int c = 0; c < kNC; ++c)
        symbol[c] =
            16 * (c < 256
                      ? 8
                      : 6 + static_cast<uint32_t>(bitLength(static_cast<uint32_t>(c - 256 + 1))));
    for (int p = 0; p < kMaxPositionSymbols; ++p)
        position[p] = 16 * (3 + extraBits(p));
    forgetCounts();
}

void Prices::update() {
    uint64_t total = 0;
    for (int c = 0; c < kNC; ++c)
        total += cfreq[c] * 4 + 1;
    for (int c = 0; c < kNC; ++c) {
        symbol[c] = bitPrice(cfreq[c] * 4 + 1, total);
        cfreq[c] -= cfreq[c] >> 3;
    }
    total = 0;
    for (int p = 0; p < np; ++p)
        total += pfreq[p] * 4 + 1;
    for (int p = 0; p < np; ++p) {
        position[p] = bitPrice(pfreq[p] * 4 + 1, total) + 16 * extraBits(p);
        pfreq[p] -= pfreq[p] >> 3;
    }
}

} // namespace lha

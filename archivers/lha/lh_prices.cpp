#include "lh_parse.h"

#include <algorithm>

namespace lha {

namespace {

// A symbol's price is at most the longest code of these methods.
constexpr double kMaxPriceBits = 16.0;

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
    lz::SharePrices symbolPrice(total, kMaxPriceBits);
    for (int c = 0; c < kNC; ++c) {
        symbol[c] = symbolPrice(cfreq[c] * 4 + 1);
        cfreq[c] -= cfreq[c] >> 3;
    }
    total = 0;
    for (int p = 0; p < np; ++p)
        total += pfreq[p] * 4 + 1;
    lz::SharePrices positionPrice(total, kMaxPriceBits);
    for (int p = 0; p < np; ++p) {
        position[p] = positionPrice(pfreq[p] * 4 + 1) + 16 * extraBits(p);
        pfreq[p] -= pfreq[p] >> 3;
    }
}

} // namespace lha

#include "lz_anchors.h"

#include <algorithm>
#include <cstring>

namespace lz {

namespace {

constexpr uint8_t kAnchor = 0xA5;
constexpr int kHashBits = 16;
constexpr uint32_t kNone = 0xffffffff;

uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

} // namespace

void findLongMatches(const uint8_t* data, size_t start, size_t end, size_t maxDistance,
                     size_t minLength, std::vector<LongMatch>& out) {
    out.clear();
    const size_t from = start > maxDistance ? start - maxDistance : 0;
    if (end - from < 8 || end - from > kNone)
        return;
    // Positions relative to `from`, so that they fit 32 bits.
    std::vector<uint32_t> last(size_t{1} << kHashBits, kNone);
    const uint8_t* const base = data + from;
    const size_t n = end - from;
    size_t covered = start - from; // bytes before this belong to history or a match
    for (size_t i = 0;;) {
        const void* hit = std::memchr(base + i, kAnchor, n - 8 - i + 1);
        if (!hit)
            return;
        i = static_cast<size_t>(static_cast<const uint8_t*>(hit) - base);
        const uint64_t key = load64(base + i);
        const uint32_t h = static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
        const uint32_t j = last[h];
        last[h] = static_cast<uint32_t>(i);
        if (i >= covered && j != kNone && i - j <= maxDistance && load64(base + j) == key) {
            size_t s = i, t = j;
            while (s > covered && t > 0 && base[s - 1] == base[t - 1]) {
                --s;
                --t;
            }
            size_t e = i + 8;
            while (e < n && base[e] == base[e - (i - j)])
                ++e;
            if (e - s >= minLength) {
                out.push_back({from + s, e - s, i - j});
                covered = e;
            }
        }
        if (++i + 8 > n)
            return;
    }
}

} // namespace lz

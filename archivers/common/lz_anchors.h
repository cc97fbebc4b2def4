// Long repeats in data that otherwise looks like noise (a tar of compressed
// files holding the same file twice, say), found without a match search at
// every byte: only the positions that hold one chosen byte value (about one
// in 256 of random bytes) are looked up, by the eight bytes that start there,
// and each hit is grown both ways byte by byte. A repeat much longer than 256
// bytes is found almost surely; short ones are left to a real match search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lz {

struct LongMatch {
    size_t at = 0;       // where the repeat starts
    size_t length = 0;   // its bytes
    size_t distance = 0; // how far back the earlier copy starts
};

// The long repeats of data[start, end), in order and not overlapping, each at
// least `minLength` bytes and at most `maxDistance` behind its earlier copy,
// which may lie in data[0, start) (history, searched from maxDistance before
// start on).
void findLongMatches(const uint8_t* data, size_t start, size_t end, size_t maxDistance,
                     size_t minLength, std::vector<LongMatch>& out);

} // namespace lz

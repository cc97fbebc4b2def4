#include "noise.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace arc {

namespace {

// What the code-length table of one block costs: the lengths of 256 byte
// codes, mostly alike, at two to three bits each.
constexpr int64_t kTableBytes = 96;
constexpr size_t kTableSpan = 65536;
// The byte counts' sample (byteCodeSaving).
constexpr size_t kCountSpan = 4096;

// The repeat check: this many samples of kSampleBytes spread over the block,
// each as long as the deflate window.
constexpr size_t kSamples = 2;
constexpr size_t kSampleBytes = 32768;
// Repeats this long are found by the coders of noise without a search; the
// longest match deflate codes.
constexpr size_t kLongRepeat = 512;
constexpr size_t kMaxMatch = 258;

} // namespace

size_t countBytes(const uint8_t* p, size_t n, uint32_t* counts, size_t span, size_t stride) {
    uint32_t t[4][256] = {};
    size_t counted = 0;
    for (size_t at = 0; at < n; at += stride) {
        const uint8_t* const q = p + at;
        const size_t m = std::min(span, n - at);
        size_t i = 0;
        for (; i + 4 <= m; i += 4) {
            ++t[0][q[i]];
            ++t[1][q[i + 1]];
            ++t[2][q[i + 2]];
            ++t[3][q[i + 3]];
        }
        for (; i < m; ++i)
            ++t[0][q[i]];
        counted += m;
    }
    for (int b = 0; b < 256; ++b)
        counts[b] = t[0][b] + t[1][b] + t[2][b] + t[3][b];
    return counted;
}

namespace {

// What a quick greedy match search saves on a sample: the bytes of each
// match of four or more beyond the three its code takes (one code per
// kMaxMatch bytes), about; in `longSaved`, the part of it that repeats of
// kLongRepeat bytes or more save.
size_t repeatsIn(const uint8_t* p, size_t n, size_t& longSaved) {
    // Every head starts at position 0: a head no position has taken yet then
    // holds bytes of another hash, which the comparison tells, without a
    // branch on empty heads that noise would mispredict half the time.
    uint16_t last[1 << 15] = {};
    size_t saved = 0;
    for (size_t i = 1; i + 4 <= n;) {
        uint32_t v;
        std::memcpy(&v, p + i, 4);
        const uint32_t h = (v * 2654435761u) >> 17;
        const uint16_t q = last[h];
        last[h] = static_cast<uint16_t>(i);
        uint32_t w;
        std::memcpy(&w, p + q, 4);
        if (w != v) {
            ++i;
            continue;
        }
        size_t length = 4;
        while (i + length < n && p[q + length] == p[i + length])
            ++length;
        const size_t gain = length - 3 - (length - 1) / kMaxMatch * 3;
        saved += gain;
        if (length >= kLongRepeat)
            longSaved += gain;
        i += length;
    }
    return saved;
}

// What Huffman codes of the bytes save on the block, the tables paid for. The
// bytes are counted on every other kCountSpan of the block, half the work of
// counting them all: on the .gz files, noise, photos, text and code of the
// bench every MiB gets the same verdict either way.
int64_t byteCodeSaving(const uint8_t* data, size_t size) {
    uint32_t counts[256];
    const size_t counted = countBytes(data, size, counts, kCountSpan, 2 * kCountSpan);
    double bits = 0;
    for (uint32_t c : counts)
        if (c)
            bits -= c * std::log2(static_cast<double>(c) / static_cast<double>(counted));
    bits *= static_cast<double>(size) / static_cast<double>(counted);
    const int64_t tables = static_cast<int64_t>((size + kTableSpan - 1) / kTableSpan) * kTableBytes;
    return static_cast<int64_t>(size) - static_cast<int64_t>(bits / 8) - tables;
}

bool isNoise(int64_t saving, size_t size) {
    return saving * 1000 < static_cast<int64_t>(size);
}

} // namespace

namespace {

// estimateShrinkage of a block of kTableSpan bytes or more whose byte codes
// save `byteSaving`.
Shrinkage estimateFrom(const uint8_t* data, size_t size, int64_t byteSaving) {
    Shrinkage s;
    s.saving = byteSaving;
    // Matches only add to what the byte codes save: where those alone save an
    // eighth (text), the block is none of the three, and the samples are not
    // taken (the saving is then that of the byte codes only).
    if (s.saving * 8 >= static_cast<int64_t>(size))
        return s;
    // What matches save on the samples, for the whole block.
    const size_t sample = std::min(kSampleBytes, size);
    const size_t stride = size > sample ? (size - sample) / (kSamples - 1) : 0;
    size_t repeats = 0;
    size_t longRepeats = 0;
    for (size_t k = 0; k < kSamples; ++k)
        repeats += repeatsIn(data + std::min(k * stride, size - sample), sample, longRepeats);
    s.saving += static_cast<int64_t>(repeats * size / (kSamples * sample));
    s.longRepeats = static_cast<int64_t>(longRepeats * size / (kSamples * sample));
    const int64_t searched = s.saving - s.longRepeats;
    s.noise = isNoise(s.saving, size);
    s.searchless = isNoise(searched, size);
    const int64_t n = static_cast<int64_t>(size);
    s.little = searched * 8 < n || (byteSaving * 32 < n && searched * 4 < n);
    return s;
}

} // namespace

Shrinkage estimateShrinkage(const uint8_t* data, size_t size) {
    // Less than a table's span tells too little: it is taken to shrink.
    if (size < kTableSpan)
        return Shrinkage();
    return estimateFrom(data, size, byteCodeSaving(data, size));
}

bool worthCompressing(const uint8_t* data, size_t size) {
    constexpr size_t kSpan = 1 << 20;
    for (size_t at = 0; at < size; at += kSpan) {
        const size_t n = std::min(kSpan, size - at);
        if (n < kTableSpan)
            return true;
        // Matches only add to what the byte codes save: a MiB those alone
        // shrink (text) needs no match samples; otherwise the samples are
        // taken with the byte codes' saving known.
        const int64_t byteSaving = byteCodeSaving(data + at, n);
        if (!isNoise(byteSaving, n) || !estimateFrom(data + at, n, byteSaving).noise)
            return true;
    }
    return false;
}

} // namespace arc

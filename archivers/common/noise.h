// A cheap look at how much a block of data could shrink, so that the encoders
// pass over data that does not (compressed files, photos, random bytes)
// instead of searching it for matches that are not there. Repeats far apart
// (the same compressed file twice, farther than the samples reach) are not
// seen here: lz_anchors.h finds them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arc {

struct Shrinkage {
    // About what compression would save on the block, in bytes: what Huffman
    // codes of the bytes (one table per 64 KiB) save, the tables paid for,
    // plus what a quick match search saves on two samples of 32 KiB (the
    // deflate window), for the whole block; where the byte codes alone save
    // an eighth, theirs only. Negative when coding would make the block
    // larger.
    int64_t saving = 0;
    // The part of the saving that comes from repeats of 512 bytes or more.
    int64_t longRepeats = 0;
    // The saving is under a thousandth of the block: it is noise to a
    // compressor, best kept as it is.
    bool noise = false;
    // The saving apart from the long repeats is under a thousandth of the
    // block: noise but for those repeats, which the coders of noise find
    // without a search (lz_anchors.h).
    bool searchless = false;
    // The saving apart from the long repeats is under an eighth of the
    // block, or under a quarter where the bytes look random (their codes save
    // less than 1/32): the little there is to gain does not pay for a
    // thorough match search (the quick search of lz_sparse.h finds nearly all
    // of it). Compressed files whose headers and tables repeat (fonts and
    // charmaps that matches shrink by a sixth) are of the second kind: the
    // thorough search gains a thousandth of their size at four times the
    // work. Where the bytes are skewed as well (OpenType fonts), it gains 2 %.
    bool little = false;
};

// The estimate for `size` bytes (meant for blocks of 64 KiB to a few MiB;
// it costs about half a millisecond a MiB). Less than 64 KiB is neither noise
// nor little: a block that small is left to the encoders to judge.
Shrinkage estimateShrinkage(const uint8_t* data, size_t size);

// Counts how often each byte value occurs in the `size` bytes at `data` into
// counts[0..255], by four interleaved tables, so that runs of one byte value
// do not wait on one counter. With `span` and `stride`, only the first `span`
// bytes of every `stride` are counted (a sample). Returns the bytes counted.
size_t countBytes(const uint8_t* data, size_t size, uint32_t* counts, size_t span, size_t stride);
inline size_t countBytes(const uint8_t* data, size_t size, uint32_t* counts) {
    return countBytes(data, size, counts, size, size);
}

// Whether compressing the bytes could pay: some MiB of them is not noise.
// Data that could not is best kept as it is (stored), at the speed of memory.
bool worthCompressing(const uint8_t* data, size_t size);

} // namespace arc

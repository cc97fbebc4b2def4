// Deflate for data that looks like noise (noise.h): its bytes go out in stored
// blocks, at the speed of memory, and only the long repeats lz_anchors.h finds
// in it go in short blocks of the fixed code, as matches. For such data that
// is what a match search with byte codes would make, give or take a few
// bytes, at a fraction of the cost.
#pragma once

#include "deflate_walk.h"

#include <cstddef>

namespace zip::deflate {

// Appends a fragment (non-final blocks, ending on a byte boundary: see
// deflate_walk.h) for data[history, history + size) to `out`; data[0,
// history) are the bytes before it, which matches may refer to. With `refs`,
// the stored bytes are referred to there instead of copied (appendStored).
void appendNoise(const unsigned char* data, size_t history, size_t size, Bytes& out,
                 InputRefs* refs = nullptr);

} // namespace zip::deflate

// A deflate encoder of our own for the maximum level: the parse of
// deflate_parse.h written as blocks by deflate_block.h. On text it makes
// streams a few per cent smaller than a lazy match search at about the same
// cost. Its buffers are kept from call to call.
#pragma once

#include "deflate_parse.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zip {

class DeflateEncoder {
public:
    // Compresses the `size` bytes at `in` as raw deflate into `out`: with
    // `last`, to the end of a stream; without, as a fragment that another can
    // follow (its blocks are not final and it ends on a byte boundary with an
    // empty stored block). The `history` bytes before `in` (at most 32 KiB)
    // are the end of the fragment before, which matches may refer to. Returns
    // the bytes written, or 0 when they do not fit in `room`.
    size_t compress(const uint8_t* in, size_t history, size_t size, uint8_t* out, size_t room,
                    bool last);

private:
    deflate::Parser parser_;
    lz::Symbols symbols_;
    std::vector<uint64_t> blockCounts_; // the block writer's counts at steps
};

} // namespace zip

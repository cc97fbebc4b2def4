#include "deflate_encoder.h"

#include "deflate_block.h"

#include <algorithm>

namespace zip {

namespace {

// Parsed text is written out in segments of this many bytes, so that the
// symbols held stay few whatever the input's size.
constexpr size_t kSegment = 1 << 20;
// A text the parser learns from whole is parsed in one segment (deflate_parse.h).
static_assert(kSegment >= lz::kLearnWhole);

} // namespace

size_t DeflateEncoder::compress(const uint8_t* in, size_t history, size_t size, uint8_t* out,
                                size_t room, bool last) {
    deflate::BitWriter w(out, room);
    const uint8_t* const text = in - history;
    const size_t end = history + size;
    if (size == 0) {
        w.put(last ? 3 : 2, 3); // a block of the fixed codes
        w.put(0, 7);            // holding only the end of block
    } else {
        parser_.start(text, history, end);
        // At most a symbol per byte: room for a whole segment at once, so that
        // the buffer is not copied as it grows.
        symbols_.reserve(std::min(size, kSegment));
    }
    for (size_t from = history; from < end;) {
        symbols_.clear();
        const size_t to = parser_.parse(from, std::min(end, from + kSegment), symbols_);
        deflate::writeBlocks(w, symbols_.data(), symbols_.size(), text + from, last && to == end,
                             blockCounts_);
        if (w.overflowed())
            return 0;
        from = to;
    }
    if (!last)
        deflate::endFragment(w);
    return w.finish();
}

} // namespace zip

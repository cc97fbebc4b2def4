// Walking a raw deflate stream (RFC 1951) without inflating it, and turning
// a complete stream into a fragment that another can follow: what joins the
// pieces a buffer compressor made one by one into one stream.
#pragma once

#include "huge_pages.h"

#include <cstddef>
#include <vector>

namespace zip::deflate {

// Compressed output on its way out: fragments, stored blocks.
using Bytes = arc::HugeVector<unsigned char>;

// Stored bytes a fragment takes from its input where they are, instead of a
// copy: `size` bytes from `from`, which go in `at` bytes into the fragment's
// own bytes (noise goes out without being copied twice, or held twice).
struct InputRef {
    size_t at;
    const unsigned char* from;
    size_t size;
};
using InputRefs = std::vector<InputRef>;

// Walks a complete raw deflate stream block by block, decoding its codes but
// copying nothing, to find the bit where its last block starts and the bit
// where that block ends. False when the stream does not parse.
bool findLastBlock(const unsigned char* data, size_t size, size_t& lastStart, size_t& end);

// Appends the complete stream `data` to `out` as a fragment: the final-block
// bit of its last block is cleared, the bits after that block dropped, and an
// empty stored block brings it to a byte boundary. Fragments in order, then
// kStreamEnd, are one valid stream. False when the stream does not parse
// (`out` may then hold part of it).
bool appendFragment(const unsigned char* data, size_t size, Bytes& out);

// Appends `size` bytes to `out` as non-final stored blocks (one empty block
// for none), starting byte-aligned; with `refs`, the bytes themselves are
// referred to there instead of copied.
void appendStored(const unsigned char* in, size_t size, Bytes& out, InputRefs* refs = nullptr);

// The `n` bytes at `in` of a stored block whose header `out` ends with:
// appended, or with `refs`, referred to there.
void appendStoredBytes(const unsigned char* in, size_t n, Bytes& out, InputRefs* refs);

// The final empty stored block that ends a stream made of fragments.
inline constexpr unsigned char kStreamEnd[5] = {1, 0, 0, 0xff, 0xff};

} // namespace zip::deflate

// Deflate by independent pieces compressed side by side on the module's
// worker pool (worker_pool.h).
//
// The buffer compressor (libdeflate) only makes complete deflate streams. Each
// piece's stream is turned into a fragment that can be followed by another
// (deflate_walk.h). Fragments in order, then kStreamEnd, are one valid deflate
// stream. Pieces are bounded, so memory does not grow with the file. A file
// that fits in one piece is compressed as one complete stream on the calling
// thread. A piece of noise and data that would shrink but little (below) is
// compressed part by part, which makes the same bytes: the writer reads such
// a piece alone, so that it keeps every thread busy with the memory of one.
//
// Levels 1 to 8 are libdeflate's levels of the same number. Level 9 chooses
// per piece: for text, our own encoder (deflate_encoder.h), about 2.5 % smaller
// than libdeflate's deepest lazy search and a third of the time of its
// near-optimal parser (a member of text of 4 to 64 KiB takes libdeflate's
// level 7, at a fraction of the cost); for binary data, that near-optimal parser (its level
// 10), which there costs about 1.4 times the lazy search and saves 2-3 %; and
// for long runs of repeated bytes that are not text, the lazy search (its
// level 9), where a parser that weighs every choice costs several times as
// much for nothing.
//
// At every level, each MiB of a piece is looked at first (noise.h), and runs
// of parts alike are compressed apart: noise (compressed files, most photos,
// random bytes) goes to the noise coder (deflate_noise.h) at the speed of
// memory; from level 6 up, data that would shrink but little (noise.h: a
// run of small compressed files) takes our block writer over the quick search
// of lz_sparse.h, which there finds as much as libdeflate's lazy search at a
// fraction of its cost; the rest the level asked for. A
// file of photos and text has its text compressed as hard as ever.
#pragma once

#include "deflate_walk.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zip {

// Pieces are looked at in parts of this size.
constexpr size_t kPartBytes = size_t{1} << 20;

// What a part of a piece holds, as the compressor at a level takes it: noise
// (the noise coder), data that would shrink but little (the quick search, from
// level 6 up) or anything else (the level's own search).
enum class PartKind : uint8_t { Normal, Noise, Sparse };

// Appends the kinds of the parts of kPartBytes (the last one shorter) of the
// `size` bytes at `data`, compressed at `level`, to `kinds`. Returns whether
// they are all noise or sparse: such a piece is compressed part by part, side
// by side (a run of noise as one), so that one piece keeps every thread busy
// and a batch of them need hold no more than one.
bool classifyParts(const unsigned char* data, size_t size, int level, std::vector<PartKind>& kinds);
// Whether the `count` kinds at `kinds` are all noise or sparse.
bool quietParts(const PartKind* kinds, size_t count);

// Where fragments are made: their own bytes, and the input bytes of their
// stored blocks, referred to where they are (deflate_walk.h).
struct FragmentLane {
    deflate::Bytes bytes;
    deflate::InputRefs refs;
};

// Where a fragment was made: its own `size` bytes at `at` in lanes[lane], with
// the input bytes of lanes[lane].refs[refFrom, refTo) in among them.
struct FragmentSpan {
    size_t lane;
    size_t at;
    size_t size;
    size_t refFrom;
    size_t refTo;
};

// Compresses the pieces of `sizes` bytes, one after the other from `data`, at
// `level` (1..9), on up to `width` threads of the module's worker pool (the
// calling thread included), into fragments that, in the order of `spans`,
// make the pieces' stream: one per piece, or for a piece of noise and sparse
// parts only, one per part of it (one per run of noise). The fragments are
// the same whatever the width. Each thread makes its fragments one after the
// other in a lane of its own among `lanes` (the caller's, kept from call to
// call, so that their memory is touched once). `kinds` holds the kinds of all
// pieces' parts in order (classifyParts). Each piece's matches may refer back
// into the 32 KiB before it: the piece before, or for the first, the `history`
// bytes before `data` (the stream's bytes so far, written already). With
// `whole` (one piece only) the single fragment is a complete stream that
// needs no kStreamEnd. Returns false when memory runs out.
bool compressPieces(const unsigned char* data, size_t history, const std::vector<size_t>& sizes,
                    const std::vector<PartKind>& kinds, int level, unsigned width, bool whole,
                    std::vector<FragmentLane>& lanes, std::vector<FragmentSpan>& spans);

} // namespace zip

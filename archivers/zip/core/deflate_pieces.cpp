#include "deflate_pieces.h"

#include "deflate_block.h"
#include "deflate_encoder.h"
#include "deflate_format.h"
#include "deflate_noise.h"
#include "deflate_walk.h"
#include "huge_pages.h"
#include "lz_sparse.h"
#include "noise.h"
#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <libdeflate.h>
#include <memory>
#include <new>

namespace zip {

namespace {

// Level 9 looks at four samples of this size spread over a piece.
constexpr size_t kSample = 16384;

// runLevel's choice of our own encoder.
constexpr int kOwnEncoder = -1;

// At level 9 a member of text of more than kTinyText and up to kSmallText
// bytes (one the own encoder would parse twice, to learn its prices and then
// for good) takes libdeflate's lazy search at kSmallTextLevel: on 1,000
// headers from /usr/include 1.3 % larger than with the own encoder, still
// 1.3 % smaller than zip -9, at about half the CPU. Shorter texts cost little
// either way and keep the own encoder, whose blocks of the fixed codes shrink
// a few dozen bytes where libdeflate's do not.
constexpr size_t kTinyText = 1 << 12;
constexpr size_t kSmallText = 1 << 16;
constexpr int kSmallTextLevel = 7;

// One per thread (the pool's helpers and the calling threads): its
// compressors (made when a level is first used) and the buffer it compresses
// into, kept from piece to piece and never cleared, so that only the bytes
// the compressor writes are touched and only the result is copied out.
struct Slot {
    libdeflate_compressor* compressors[13] = {};
    std::unique_ptr<DeflateEncoder> own;
    std::unique_ptr<lz::SparseParser> sparse;
    lz::Symbols symbols;               // the quick parse of one part
    std::vector<uint64_t> blockCounts; // the block writer's counts at steps
    arc::HugeBytes scratch;
    size_t room = 0;

    Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() {
        for (libdeflate_compressor* c : compressors)
            libdeflate_free_compressor(c);
    }
    libdeflate_compressor* compressor(int level) {
        if (!compressors[level])
            compressors[level] = libdeflate_alloc_compressor(level);
        if (!compressors[level])
            throw std::bad_alloc();
        return compressors[level];
    }
};

thread_local Slot tSlot;

// What a part of a piece takes (noise.h): noise, long repeats aside, the noise
// coder; from level kSparseLevel up, data that would shrink but little our
// block writer over the quick parse (appendSparse), which finds that little as
// well as a thorough lazy search at a fraction of the cost; anything else
// (Normal) the level asked for.
constexpr int kSparseLevel = 6;
PartKind partKind(const unsigned char* in, size_t size, int level) {
    const arc::Shrinkage shrinkage = arc::estimateShrinkage(in, size);
    return shrinkage.searchless                        ? PartKind::Noise
           : shrinkage.little && level >= kSparseLevel ? PartKind::Sparse
                                                       : PartKind::Normal;
}

// Level 9's choice for a run of a piece (`whole`: the run is a whole member),
// from four samples spread over it: text (at most 1/8 of the sampled bytes are
// control characters other than tab, line feed, form feed and carriage return)
// takes our own encoder, which also makes short work of runs, or, a small
// member, kSmallTextLevel; otherwise long runs (the samples shrink below 1/16
// at libdeflate's fastest level) take its lazy search (9), the rest its
// near-optimal parser (10).
int runLevel(Slot& slot, const unsigned char* in, size_t size, int level, bool whole) {
    if (level < 9)
        return level;
    auto sample = [&](size_t k) { return in + size / 4 * k; };
    auto sampleSize = [&](size_t k) { return std::min(kSample, size - size / 4 * k); };
    size_t sampled = 0;
    size_t controls = 0;
    for (size_t k = 0; k < 4; ++k) {
        const unsigned char* const at = sample(k);
        const size_t n = sampleSize(k);
        for (size_t i = 0; i < n; ++i) {
            const unsigned char c = at[i];
            controls += c < 0x20 && c != '\t' && c != '\n' && c != '\f' && c != '\r';
        }
        sampled += n;
    }
    if (controls * 8 <= sampled)
        return whole && size > kTinyText && size <= kSmallText ? kSmallTextLevel : kOwnEncoder;
    libdeflate_compressor* const fast = slot.compressor(1);
    size_t packed = 0;
    for (size_t k = 0; k < 4; ++k) {
        const size_t n = sampleSize(k);
        const size_t made = libdeflate_deflate_compress(fast, sample(k), n, slot.scratch.get(), n);
        packed += made > 0 ? made : n;
    }
    return packed * 16 < sampled ? 9 : 10;
}

// The quick parse and its blocks go this many bytes at a time: the symbols
// (four bytes a byte) then stay in the second-level cache from the parse
// through the block writer's two passes, and a thread holds a MiB of them
// rather than four. The blocks of a quarter of a part cost 630 bytes more on
// 100 MB of .gz files than those of whole parts.
constexpr size_t kSparseBytes = kPartBytes / 4;

// Appends a run of data that is nearly noise (Sparse) as a fragment,
// kSparseBytes at a time: our block writer over the quick parse
// (lz_sparse.h); a stretch that does not shrink is stored (its bytes referred
// to in `refs`). `history` bytes before `in` may be referred to by the quick
// parse's matches.
void appendSparse(Slot& slot, const unsigned char* in, size_t history, size_t size,
                  deflate::Bytes& out, deflate::InputRefs& refs) {
    if (!slot.sparse) {
        slot.sparse = std::make_unique<lz::SparseParser>(deflate::kWindowBits, deflate::kMaxMatch);
        slot.symbols.reserve(kSparseBytes); // at most a symbol per byte
    }
    for (size_t at = 0; at < size;) {
        const size_t n = std::min(kSparseBytes, size - at);
        const size_t before = std::min(history + at, deflate::kWindow);
        size_t made = 0;
        if (n > 16) {
            slot.symbols.clear();
            slot.sparse->parse(in + at - before, before, before + n, slot.symbols);
            // Written in place, past what the piece holds so far.
            const size_t old = out.size();
            out.resize(old + n);
            deflate::BitWriter w(out.data() + old, n - 16);
            deflate::writeBlocks(w, slot.symbols.data(), slot.symbols.size(), in + at, false,
                                 slot.blockCounts);
            deflate::endFragment(w);
            made = w.finish();
            out.resize(old + made);
        }
        if (made == 0)
            deflate::appendStored(in + at, n, out, &refs);
        at += n;
    }
}

// Appends one run of a piece, compressed as `kind` says (partKind); with
// `whole`, as a complete stream. `history` bytes before `in` may be referred
// to by the noise coder's and our own encoder's matches. The bytes of stored
// blocks are referred to in `refs`, not copied.
void appendRun(Slot& slot, const unsigned char* in, size_t history, size_t size, PartKind kind,
               int level, bool whole, deflate::Bytes& out, deflate::InputRefs& refs) {
    if (kind != PartKind::Normal) {
        if (kind == PartKind::Noise)
            deflate::appendNoise(in - history, history, size, out, &refs);
        else
            appendSparse(slot, in, history, size, out, refs);
        if (whole)
            arc::appendTo(out, deflate::kStreamEnd, sizeof deflate::kStreamEnd);
        return;
    }
    // Room for less than the input: a run that does not shrink (and one of
    // 16 bytes or less) is stored.
    const int chosen = size <= 16 ? 0 : runLevel(slot, in, size, level, whole);
    // Our encoder makes fragments itself, and a whole stream goes as it is:
    // those are written in place, past what the piece holds so far;
    // libdeflate's streams are cut below.
    const bool inPlace = whole || chosen == kOwnEncoder;
    const size_t before = out.size();
    unsigned char* packed = slot.scratch.get();
    if (inPlace && chosen != 0) {
        out.resize(before + size);
        packed = out.data() + before;
    }
    size_t made = 0;
    if (chosen == kOwnEncoder) {
        if (!slot.own)
            slot.own = std::make_unique<DeflateEncoder>();
        made = slot.own->compress(in, history, size, packed, size - 16, whole);
    } else if (chosen > 0) {
        made = libdeflate_deflate_compress(slot.compressor(chosen), in, size, packed, size - 16);
    }
    if (made > 0 && inPlace) {
        out.resize(before + made);
        return;
    }
    out.resize(before);
    if (made == 0 || !deflate::appendFragment(packed, made, out)) {
        out.resize(before);
        deflate::appendStored(in, size, out, &refs);
        if (whole)
            arc::appendTo(out, deflate::kStreamEnd, sizeof deflate::kStreamEnd);
    }
}

// Appends one piece compressed to `out`, or a part of one (whose parts' kinds
// start at `kinds`), the bytes of its stored blocks referred to in `refs`;
// `history` bytes before `in` belong to the piece before.
// It goes in runs of parts of kPartBytes bytes alike: parts that look like noise
// apart from the rest, so that a file of photos and text has its text
// compressed as hard as ever and its photos at the speed of memory.
void fragment(Slot& slot, const unsigned char* in, size_t history, size_t size,
              const PartKind* kinds, int level, bool whole, deflate::Bytes& out,
              deflate::InputRefs& refs) {
    const size_t room = std::max(size, kSample);
    if (slot.room < room) {
        slot.scratch.reset();
        slot.room = 0;
        slot.scratch = arc::makeHugeBytes(room);
        slot.room = room;
    }
    if (size <= 16) {
        appendRun(slot, in, history, size, PartKind::Normal, level, whole, out, refs);
        return;
    }
    PartKind kind = kinds[0];
    bool split = false;
    for (size_t at = 0; at < size;) {
        size_t end = std::min(size, at + kPartBytes);
        PartKind next = kind;
        while (end < size) {
            next = kinds[end / kPartBytes];
            if (next != kind)
                break;
            end = std::min(size, end + kPartBytes);
        }
        split = split || end < size;
        appendRun(slot, in + at, std::min(history + at, deflate::kWindow), end - at, kind, level,
                  whole && !split, out, refs);
        at = end;
        kind = next;
    }
    if (whole && split)
        arc::appendTo(out, deflate::kStreamEnd, sizeof deflate::kStreamEnd);
}

} // namespace

bool quietParts(const PartKind* kinds, size_t count) {
    return std::none_of(kinds, kinds + count, [](PartKind k) { return k == PartKind::Normal; });
}

bool classifyParts(const unsigned char* data, size_t size, int level,
                   std::vector<PartKind>& kinds) {
    const size_t first = kinds.size();
    for (size_t at = 0; at < size; at += kPartBytes)
        kinds.push_back(partKind(data + at, std::min(kPartBytes, size - at), level));
    return quietParts(kinds.data() + first, kinds.size() - first);
}

bool compressPieces(const unsigned char* data, size_t history, const std::vector<size_t>& sizes,
                    const std::vector<PartKind>& kinds, int level, unsigned width, bool whole,
                    std::vector<FragmentLane>& lanes, std::vector<FragmentSpan>& spans) {
    whole = whole && sizes.size() == 1;
    // What is compressed on its own, into a fragment of its own: a piece, or
    // in a piece of noise and sparse parts only, each sparse part and each
    // run of noise parts.
    struct Unit {
        size_t at; // from data
        size_t size;
        size_t part; // the kind of its first part, in kinds
    };
    std::vector<Unit> units;
    size_t at = 0;
    size_t part = 0;
    for (const size_t size : sizes) {
        const size_t parts = (size + kPartBytes - 1) / kPartBytes;
        if (whole || !quietParts(kinds.data() + part, parts) || size <= 16) {
            units.push_back({at, size, part});
        } else {
            for (size_t k = 0; k < parts;) {
                size_t end = k + 1;
                if (kinds[part + k] == PartKind::Noise)
                    while (end < parts && kinds[part + end] == PartKind::Noise)
                        ++end;
                const size_t from = k * kPartBytes;
                units.push_back({at + from, std::min(size, end * kPartBytes) - from, part + k});
                k = end;
            }
        }
        at += size;
        part += parts;
    }
    // A lane's room: all the units, should its thread take them all, each
    // at the most a unit holds while it is made (its size, where it is
    // compressed in place; the block headers, where it is stored).
    const size_t room = at + (at / deflate::kStoredMax + 2 * units.size()) * 5 +
                        units.size() * sizeof deflate::kStreamEnd;
    const unsigned threads = std::max(1u, std::min<unsigned>(width, units.size()));
    if (lanes.size() < threads)
        lanes.resize(threads);
    spans.assign(units.size(), FragmentSpan{});
    // Each thread takes a lane on its first unit of this call, which a
    // number of its own tells apart from calls before and beside it.
    static std::atomic<uint64_t> calls{0};
    const uint64_t call = ++calls;
    std::atomic<size_t> lanesTaken{0};
    try {
        arc::WorkerPool::shared().run(units.size(), threads, [&](size_t i) {
            thread_local uint64_t tCall = 0;
            thread_local size_t tLane = 0;
            if (tCall != call) {
                tCall = call;
                tLane = lanesTaken++;
                lanes[tLane].bytes.clear();
                lanes[tLane].refs.clear();
                arc::reserveFor(lanes[tLane].bytes, room);
            }
            FragmentLane& lane = lanes[tLane];
            const Unit& u = units[i];
            const size_t before = lane.bytes.size();
            const size_t refsBefore = lane.refs.size();
            fragment(tSlot, data + u.at, std::min(history + u.at, deflate::kWindow), u.size,
                     kinds.data() + u.part, level, whole, lane.bytes, lane.refs);
            spans[i] = {tLane, before, lane.bytes.size() - before, refsBefore, lane.refs.size()};
        });
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace zip

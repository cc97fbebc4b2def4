// Deflate by independent pieces compressed side by side.
//
// The buffer compressor (libdeflate) only makes complete deflate streams. Each
// piece's stream is turned into a fragment that can be followed by another:
// the final-block bit of its last block is cleared and an empty stored block
// brings it to a byte boundary. Fragments in order, then kStreamEnd, are one
// valid deflate stream. Pieces are bounded, so memory does not grow with the
// file. A file that fits in one piece is compressed as one complete stream on
// the calling thread; the pieces of a larger batch are shared with helper
// threads that are started when first needed and kept for later batches, so
// that neither a small file nor a call pays for starting a thread.
//
// Levels 1 to 8 are libdeflate's levels of the same number. Level 9 chooses
// per piece: for text, our own encoder (deflate_encoder.h), about 2.5 % smaller
// than libdeflate's deepest lazy search and a third of the time of its
// near-optimal parser; for binary data, that near-optimal parser (its level
// 10), which there costs about 1.4 times the lazy search and saves 2-3 %; and
// for long runs of repeated bytes that are not text, the lazy search (its
// level 9), where a parser that weighs every choice costs several times as
// much for nothing.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct libdeflate_compressor;

namespace zip {

class DeflateEncoder;

class PieceCompressor {
public:
    // Up to `threads` pieces at once: the calling thread and threads - 1 helpers.
    explicit PieceCompressor(unsigned threads);
    ~PieceCompressor();
    PieceCompressor(const PieceCompressor&) = delete;
    PieceCompressor& operator=(const PieceCompressor&) = delete;

    // One thread per core, at most four.
    static unsigned defaultThreads();

    // The one compressor of the process (of the module that holds this code),
    // with defaultThreads() threads. Its compressors and threads are kept from
    // call to call. Batches of several pieces from several threads take turns;
    // a one-piece batch runs beside anything else.
    static PieceCompressor& shared();

    unsigned threads() const { return threads_; }

    // Compresses `size` bytes at `level` (1..9) as `pieces` equal pieces, one
    // fragment each, in order, on up to `threads` threads. With `whole` (one
    // piece only) the single fragment is a complete stream that needs no
    // kStreamEnd. Returns false when memory runs out.
    bool compress(const unsigned char* data, size_t size, size_t pieces, int level,
                  unsigned threads, bool whole, std::vector<std::vector<unsigned char>>& fragments);

    // The final empty block that ends a stream made of fragments.
    static const unsigned char kStreamEnd[5];

private:
    // One per thread: its compressors (made when a level is first used) and
    // the buffer it compresses into, kept from piece to piece and never
    // cleared, so that only the bytes the compressor writes are touched and
    // only the result is copied out.
    struct Slot {
        libdeflate_compressor* compressors[13] = {};
        std::unique_ptr<DeflateEncoder> own;
        std::unique_ptr<unsigned char[]> scratch;
        size_t room = 0;
        Slot();
        ~Slot();
        libdeflate_compressor* compressor(int level);
    };
    using Job = std::function<void(Slot&)>;

    static int pieceLevel(Slot& slot, const unsigned char* in, size_t size, int level);
    // Compresses one piece; `history` bytes before `in` belong to the piece
    // before, which our own encoder's matches may refer to.
    static void fragment(Slot& slot, const unsigned char* in, size_t history, size_t size,
                         int level, bool whole, std::vector<unsigned char>& out);
    // Runs `job` on the calling thread's `own` slot and on `helpers` (at least
    // one) helper threads.
    void run(const Job& job, unsigned helpers, Slot& own);
    void helperLoop(size_t index);

    unsigned threads_;
    std::mutex callMutex_; // one batch of several pieces at a time

    // The calling threads' slots not in use: each call takes one (or makes one
    // when none is spare) and gives it back after it, so that calls side by
    // side each have their own.
    std::mutex spareMutex_;
    std::vector<std::unique_ptr<Slot>> spare_;

    // The helpers: slot i belongs to helpers_[i].
    std::vector<std::unique_ptr<Slot>> slots_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<std::thread> helpers_;
    const Job* job_ = nullptr;
    uint64_t generation_ = 0; // counts the batches handed to the helpers
    size_t active_ = 0;       // helpers taking part in the current batch
    size_t busy_ = 0;         // of those, the ones not finished yet
    bool stop_ = false;
};

} // namespace zip

// Deflate by independent pieces compressed side by side.
//
// The buffer compressor (libdeflate) only makes complete deflate streams. Each
// piece's stream is turned into a fragment that can be followed by another:
// the final-block bit of its last block is cleared and an empty stored block
// brings it to a byte boundary. Fragments in order, then finalStreamEnd(), are
// one valid deflate stream. Pieces are bounded, so memory does not grow with
// the file, and the pieces of a batch are compressed on several threads.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

struct libdeflate_compressor;

namespace zip {

class PieceCompressor {
public:
    // `level` 1..9 (9 takes the near-optimal parser); up to `threads` at once.
    PieceCompressor(int level, unsigned threads);
    ~PieceCompressor();
    PieceCompressor(const PieceCompressor&) = delete;
    PieceCompressor& operator=(const PieceCompressor&) = delete;

    unsigned threads() const { return static_cast<unsigned>(slots_.size()); }

    // Compresses `size` bytes as `pieces` equal pieces, one fragment each, in
    // order. Returns false when memory runs out.
    bool compress(const unsigned char* data, size_t size, size_t pieces,
                  std::vector<std::vector<unsigned char>>& fragments);

    // The final empty block that ends a stream made of fragments.
    static const unsigned char kStreamEnd[5];

private:
    // One per thread: its compressor and the buffer it compresses into, kept
    // from piece to piece and never cleared, so that only the bytes the
    // compressor writes are touched and only the result is copied out.
    struct Slot {
        libdeflate_compressor* compressor = nullptr;
        std::unique_ptr<unsigned char[]> scratch;
        size_t room = 0;
    };

    void fragment(Slot& slot, const unsigned char* in, size_t size,
                  std::vector<unsigned char>& out);

    std::vector<Slot> slots_;
};

} // namespace zip

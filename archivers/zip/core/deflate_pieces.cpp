#include "deflate_pieces.h"

#include <atomic>
#include <functional>
#include <libdeflate.h>
#include <memory>
#include <system_error>
#include <thread>
#include <zlib.h>

namespace zip {

namespace {

constexpr size_t kStoredMax = 65535;

// Appends `size` bytes as non-final stored blocks, starting byte-aligned.
void appendStored(const unsigned char* in, size_t size, std::vector<unsigned char>& out) {
    out.clear();
    out.reserve(size + (size / kStoredMax + 1) * 5);
    do {
        const size_t n = std::min(size, kStoredMax);
        const unsigned char header[5] = {
            0, static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
            static_cast<unsigned char>(~n), static_cast<unsigned char>(~n >> 8)};
        out.insert(out.end(), header, header + 5);
        out.insert(out.end(), in, in + n);
        in += n;
        size -= n;
    } while (size > 0);
}

// Walks a complete raw deflate stream block by block to find the bit where
// its last block starts and the bit where that block ends. With Z_BLOCK, zlib
// returns right after each end-of-block code, reporting in data_type the
// unused bits of the last byte taken (+64 when that block was the last,
// +128 at such a boundary). False when the stream does not decode.
bool findLastBlock(const unsigned char* data, size_t size, size_t& lastStart, size_t& end) {
    z_stream z = {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return false;
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
    std::unique_ptr<unsigned char[]> sink(new (std::nothrow) unsigned char[1 << 16]);
    if (!sink)
        return false;
    z.next_in = const_cast<unsigned char*>(data);
    z.avail_in = static_cast<uInt>(size);
    lastStart = 0;
    bool ended = false;
    for (;;) {
        z.next_out = sink.get();
        z.avail_out = 1 << 16;
        const int rc = inflate(&z, Z_BLOCK);
        if (rc == Z_STREAM_END)
            return ended;
        if (rc != Z_OK)
            return false;
        if (z.data_type & 128) {
            const size_t bit = (size - z.avail_in) * 8 - (z.data_type & 7);
            if (z.data_type & 64) {
                end = bit;
                ended = true;
            } else {
                lastStart = bit; // the next block's header starts here
            }
        }
    }
}

} // namespace

const unsigned char PieceCompressor::kStreamEnd[5] = {1, 0, 0, 0xff, 0xff};

PieceCompressor::PieceCompressor(int level, unsigned threads) {
    const int bufferLevel = level >= 9 ? 10 : level;
    const unsigned count = std::max(threads, 1u);
    slots_.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        libdeflate_compressor* c = libdeflate_alloc_compressor(bufferLevel);
        if (!c)
            break;
        slots_.emplace_back().compressor = c;
    }
}

PieceCompressor::~PieceCompressor() {
    for (Slot& slot : slots_)
        libdeflate_free_compressor(slot.compressor);
}

void PieceCompressor::fragment(Slot& slot, const unsigned char* in, size_t size,
                               std::vector<unsigned char>& out) {
    if (slot.room < size) {
        slot.scratch.reset();
        slot.room = 0;
        slot.scratch.reset(new unsigned char[size]);
        slot.room = size;
    }
    // Room for less than the input: a piece that does not shrink is stored.
    unsigned char* const packed = slot.scratch.get();
    const size_t made =
        size > 16 ? libdeflate_deflate_compress(slot.compressor, in, size, packed, size - 16) : 0;
    size_t lastStart, end;
    if (made == 0 || !findLastBlock(packed, made, lastStart, end)) {
        appendStored(in, size, out);
        return;
    }
    out.assign(packed, packed + (end + 7) / 8);
    out[lastStart >> 3] &= static_cast<unsigned char>(~(1u << (lastStart & 7)));
    if (end & 7)
        out.back() &= static_cast<unsigned char>((1u << (end & 7)) - 1);
    // An empty stored block: three header bits, padding, LEN 0, NLEN 0xFFFF.
    // A new byte is needed when the header bits do not fit in the last one.
    if ((end & 7) == 0 || (end & 7) > 5)
        out.push_back(0);
    const unsigned char empty[4] = {0, 0, 0xff, 0xff};
    out.insert(out.end(), empty, empty + 4);
}

bool PieceCompressor::compress(const unsigned char* data, size_t size, size_t pieces,
                               std::vector<std::vector<unsigned char>>& fragments) {
    if (slots_.empty())
        return false;
    pieces = std::max<size_t>(pieces, 1);
    fragments.resize(pieces);
    const size_t step = (size + pieces - 1) / pieces;
    std::atomic<size_t> next{0};
    std::atomic<bool> ok{true};
    auto work = [&](Slot& slot) {
        try {
            for (size_t i; (i = next++) < pieces;) {
                const size_t at = std::min(size, i * step);
                fragment(slot, data + at, std::min(step, size - at), fragments[i]);
            }
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(slots_.size()); // no allocation once threads run
    for (size_t t = 1; t < slots_.size() && t < pieces; ++t) {
        try {
            helpers.emplace_back(work, std::ref(slots_[t]));
        } catch (const std::system_error&) {
            break; // fewer threads: the pieces still all get done
        }
    }
    work(slots_[0]);
    for (std::thread& t : helpers)
        t.join();
    return ok;
}

} // namespace zip

// The block writer of the deflate encoder: it cuts a parse (deflate_format.h)
// into blocks, and writes each as the cheapest of a block with codes of its own
// (type 2), the fixed codes (type 1) or the bytes as they are (type 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zip::deflate {

// Bits go into each byte from its least significant end, as deflate stores
// them, into a buffer of fixed room. Writing past the room is not done but
// remembered: the stream then does not fit.
class BitWriter {
public:
    BitWriter(uint8_t* out, size_t room) : at_(out), start_(out), end_(out + room) {}

    // Appends the low `bits` bits of `value`, 32 at most.
    void put(uint32_t value, int bits) {
        acc_ |= static_cast<uint64_t>(value) << count_;
        count_ += bits;
        if (count_ >= 32) {
            if (end_ - at_ >= 4) {
                const uint32_t low = static_cast<uint32_t>(acc_);
                std::memcpy(at_, &low, 4); // little-endian machines only, as the rest of the module
                at_ += 4;
            } else {
                overflow_ = true;
            }
            acc_ >>= 32;
            count_ -= 32;
        }
    }
    // Pads with zero bits to a byte boundary.
    void align() { put(0, (8 - count_ % 8) % 8); }
    // Appends whole bytes; the writer must be at a byte boundary.
    void putBytes(const uint8_t* data, size_t size) {
        for (; count_ > 0 && size > 0; --size)
            put(*data++, 8);
        if (size > static_cast<size_t>(end_ - at_)) {
            overflow_ = true;
            return;
        }
        std::memcpy(at_, data, size);
        at_ += size;
    }
    uint64_t bitCount() const { return static_cast<uint64_t>(at_ - start_) * 8 + count_; }

    // A copy of the writer's state for a loop that writes many codes at once,
    // kept in registers where the writer's own fields would be read again
    // after every word stored; endBurst() takes it back.
    struct Burst {
        uint64_t acc;
        int count;
        uint8_t* at;
        // As BitWriter::put, within the room burst() found.
        void put(uint32_t value, int bits) {
            acc |= static_cast<uint64_t>(value) << count;
            count += bits;
            if (count >= 32) {
                const uint32_t low = static_cast<uint32_t>(acc);
                std::memcpy(at, &low, 4);
                at += 4;
                acc >>= 32;
                count -= 32;
            }
        }
    };
    // A burst when `bits` more bits fit in the room; false when they may not
    // (the caller then writes with put(), which finds out).
    bool burst(uint64_t bits, Burst& b) const {
        if (static_cast<uint64_t>(end_ - at_) < bits / 8 + 8)
            return false;
        b = {acc_, count_, at_};
        return true;
    }
    void endBurst(const Burst& b) {
        acc_ = b.acc;
        count_ = b.count;
        at_ = b.at;
    }
    // Whether something was written past the room.
    bool overflowed() const { return overflow_; }
    // Writes out the last partial byte; returns the stream's size in bytes, or
    // 0 when it did not fit.
    size_t finish() {
        align();
        for (; count_ > 0; count_ -= 8, acc_ >>= 8) {
            if (at_ == end_)
                overflow_ = true;
            else
                *at_++ = static_cast<uint8_t>(acc_);
        }
        return overflow_ ? 0 : static_cast<size_t>(at_ - start_);
    }

private:
    uint8_t* at_;
    uint8_t* start_;
    uint8_t* end_;
    uint64_t acc_ = 0;
    int count_ = 0;
    bool overflow_ = false;
};

// Writes `n` symbols, the parse of the bytes at `text`, as one or more blocks;
// the last is marked as the stream's final block when `final` is set. A range
// of symbols is halved while its two halves cost fewer bits than the whole.
// `scratch` holds the counts of the symbols at steps, which the halving
// weighs (about 1.3 KiB per 4,096 symbols), kept by the caller from call to
// call.
void writeBlocks(BitWriter& w, const uint32_t* sym, size_t n, const uint8_t* text, bool final,
                 std::vector<uint64_t>& scratch);

// Ends a fragment (deflate_walk.h) after non-final blocks: an empty stored
// block brings it to a byte boundary.
inline void endFragment(BitWriter& w) {
    w.put(0, 3); // not final, stored
    w.align();
    w.put(0xFFFF0000u, 32); // LEN 0, NLEN 0xFFFF
}

} // namespace zip::deflate

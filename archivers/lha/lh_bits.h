// The bit writer of the LZH encoder: bits go into each byte from its most
// significant end, as the -lh5-/-lh6-/-lh7- streams store them.
#pragma once

#include "huge_pages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lha {

class BitWriter {
public:
    using Bytes = arc::HugeVector<uint8_t>;

    // Appends the low `bits` bits of `value` (at most 24 at a time). Whole bytes
    // go out four at a time; up to 31 bits wait in the accumulator.
    void put(uint32_t value, int bits) {
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1));
        count_ += bits;
        if (count_ >= 32) {
            count_ -= 32;
            const uint32_t word = __builtin_bswap32(static_cast<uint32_t>(acc_ >> count_));
            if (bytes_.size() - used_ < 4)
                grow(2 * used_ + 64);
            std::memcpy(bytes_.data() + used_, &word, 4);
            used_ += 4;
        }
    }
    // A copy of the writer's state for a loop that writes many codes at once,
    // kept in registers where the writer's own fields would be read again
    // after every word stored; endBurst() takes it back.
    struct Burst {
        uint64_t acc;
        int count;
        uint8_t* at;
        // As BitWriter::put.
        void put(uint32_t value, int bits) {
            acc = (acc << bits) | (value & ((1u << bits) - 1));
            count += bits;
            if (count >= 32) {
                count -= 32;
                const uint32_t word = __builtin_bswap32(static_cast<uint32_t>(acc >> count));
                std::memcpy(at, &word, 4);
                at += 4;
            }
        }
        // Appends 32 bits at once, the first of them the value's highest.
        void put32(uint32_t value) {
            acc = (acc << 32) | value;
            const uint32_t word = __builtin_bswap32(static_cast<uint32_t>(acc >> count));
            std::memcpy(at, &word, 4);
            at += 4;
        }
    };
    // A burst with room for `bytes` bytes out.
    Burst burst(size_t bytes) {
        if (bytes_.size() - used_ < bytes + 4)
            grow(std::max(2 * used_ + 64, used_ + bytes + 4));
        return {acc_, count_, bytes_.data() + used_};
    }
    void endBurst(const Burst& b) {
        acc_ = b.acc;
        count_ = b.count;
        used_ = static_cast<size_t>(b.at - bytes_.data());
    }
    // The whole bytes written so far.
    Bytes& bytes() {
        settle();
        bytes_.resize(used_);
        return bytes_;
    }
    // The bits of the last, partial byte (tailCount() of them, 0-7).
    uint32_t tail() {
        settle();
        return static_cast<uint32_t>(acc_ & ((1u << count_) - 1));
    }
    int tailCount() {
        settle();
        return count_;
    }
    uint64_t bitCount() const { return used_ * 8 + static_cast<uint64_t>(count_); }

    // A position to rewind to, so that a block can be written again differently.
    struct Mark {
        size_t bytes = 0;
        uint64_t acc = 0;
        int count = 0;
    };
    Mark mark() const { return {used_, acc_, count_}; }
    void rewind(const Mark& m) {
        used_ = m.bytes;
        acc_ = m.acc;
        count_ = m.count;
    }
    void clear() {
        used_ = 0;
        acc_ = 0;
        count_ = 0;
    }
    // Room for `size` bytes out at least, set aside at once (in huge pages
    // where it is large) rather than moved as it grows; it is taken into use
    // as the bytes come.
    void reserve(size_t size) { arc::reserveFor(bytes_, size); }

private:
    // Room for `size` bytes, the first used_ kept.
    void grow(size_t size) {
        arc::reserveFor(bytes_, size);
        bytes_.resize(size);
    }
    // Puts out the whole bytes waiting in the accumulator.
    void settle() {
        for (; count_ >= 8; ++used_) {
            count_ -= 8;
            if (bytes_.size() == used_)
                grow(2 * used_ + 64);
            bytes_[used_] = static_cast<uint8_t>(acc_ >> count_);
        }
    }

    // The bytes written are the first used_; the rest is room, written
    // before it is read.
    Bytes bytes_;
    size_t used_ = 0;
    uint64_t acc_ = 0;
    int count_ = 0;
};

// Counts the bits a writer would produce, to price a block before writing it.
class BitCounter {
public:
    void put(uint32_t, int bits) { bits_ += static_cast<uint64_t>(bits); }
    uint64_t bits() const { return bits_; }

private:
    uint64_t bits_ = 0;
};

} // namespace lha

// The bit writer of the LZH encoder: bits go into each byte from its most
// significant end, as the -lh5-/-lh6-/-lh7- streams store them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lha {

class BitWriter {
public:
    // Appends the low `bits` bits of `value` (at most 24 at a time). Whole bytes
    // go out four at a time; up to 31 bits wait in the accumulator.
    void put(uint32_t value, int bits) {
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1));
        count_ += bits;
        if (count_ >= 32) {
            count_ -= 32;
            const auto word = static_cast<uint32_t>(acc_ >> count_);
            const uint8_t four[4] = {static_cast<uint8_t>(word >> 24),
                                     static_cast<uint8_t>(word >> 16),
                                     static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
            bytes_.insert(bytes_.end(), four, four + 4);
        }
    }
    // The whole bytes written so far.
    std::vector<uint8_t>& bytes() {
        settle();
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
    uint64_t bitCount() const { return bytes_.size() * 8 + static_cast<uint64_t>(count_); }

    // A position to rewind to, so that a block can be written again differently.
    struct Mark {
        size_t bytes = 0;
        uint64_t acc = 0;
        int count = 0;
    };
    Mark mark() const { return {bytes_.size(), acc_, count_}; }
    void rewind(const Mark& m) {
        bytes_.resize(m.bytes);
        acc_ = m.acc;
        count_ = m.count;
    }
    void clear() {
        bytes_.clear();
        acc_ = 0;
        count_ = 0;
    }

private:
    // Puts out the whole bytes waiting in the accumulator.
    void settle() {
        while (count_ >= 8) {
            count_ -= 8;
            bytes_.push_back(static_cast<uint8_t>(acc_ >> count_));
        }
    }

    std::vector<uint8_t> bytes_;
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

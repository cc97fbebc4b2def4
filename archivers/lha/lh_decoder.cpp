#include "lh_codec.h"

#include "results.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lha {

namespace {

constexpr int kNC = 510;
constexpr int kNT = 19;
constexpr int kMaxBits = 16;
constexpr int kPrimaryBits = 10; // bits a code table is first looked up by
// The output is written in one buffer: the widest window of history, then
// kChunk bytes that are handed on together, then room for the longest match
// (256 bytes) to run past them, and for its last 16-byte copy to run past it.
constexpr size_t kHistory = size_t{1} << 16;
constexpr size_t kChunk = size_t{1} << 18;
constexpr size_t kSlack = 256 + 16;

class BitReader {
public:
    // `buf` holds the bytes read ahead (at least one); its contents do not matter.
    BitReader(const ByteSource& source, uint64_t inputSize, std::vector<uint8_t>& buf)
        : source_(source), remaining_(inputSize), buf_(buf) {}

    uint32_t peek(int bits) {
        if (count_ < bits)
            refill();
        return bits ? static_cast<uint32_t>(acc_ >> (64 - bits)) : 0;
    }
    void skip(int bits) {
        acc_ <<= bits;
        count_ -= bits;
    }
    uint32_t get(int bits) {
        uint32_t v = peek(bits);
        skip(bits);
        return v;
    }
    // True when bits past the end of the member's data have been consumed.
    bool overrun() const { return padding_ > 0 && padding_ * 8 > count_; }
    int error() const { return error_; }

private:
    // Eight bytes at once where the buffer holds them: the bits past the
    // last whole byte taken are those of the next byte, which the next
    // refill puts in the same place again.
    void refill() {
        if (len_ - pos_ >= 8) {
            uint64_t v;
            std::memcpy(&v, buf_.data() + pos_, 8);
            acc_ |= __builtin_bswap64(v) >> count_;
            pos_ += static_cast<size_t>((63 - count_) >> 3);
            count_ |= 56;
            return;
        }
        refillByBytes();
    }
    // Byte by byte near the end of the buffer, reading more when it runs out.
    [[gnu::noinline]] void refillByBytes() {
        while (count_ <= 56) {
            acc_ |= static_cast<uint64_t>(nextByte()) << (56 - count_);
            count_ += 8;
        }
    }
    uint8_t nextByte() {
        if (pos_ == len_) {
            len_ = pos_ = 0;
            if (remaining_ > 0 && error_ == arc::kOk) {
                size_t want =
                    remaining_ < buf_.size() ? static_cast<size_t>(remaining_) : buf_.size();
                long long got = source_(buf_.data(), want);
                if (got < 0)
                    error_ = arc::kErrCannotRead;
                else if (got > 0) {
                    len_ = static_cast<size_t>(got);
                    remaining_ -= static_cast<uint64_t>(got);
                } else {
                    remaining_ = 0;
                }
            }
            if (len_ == 0) {
                ++padding_;
                return 0;
            }
        }
        return buf_[pos_++];
    }

    const ByteSource& source_;
    uint64_t remaining_;
    std::vector<uint8_t>& buf_;
    size_t pos_ = 0;
    size_t len_ = 0;
    uint64_t acc_ = 0;
    int count_ = 0;
    int padding_ = 0;
    int error_ = arc::kOk;
};

// A decoding table for codes of up to 16 bits. Codes of up to kPrimaryBits
// bits are found by a first lookup of that many bits (a table that stays in
// the nearest cache); a longer one's first bits lead to a second table
// indexed by the bits after them, up to the longest code's length. An entry
// holds (length << 16) | symbol; 0 marks a prefix no code starts; a first-
// level entry with its top bit set holds where the second table starts.
class DecodeTable {
public:
    void setSingle(int symbol) { single_ = symbol; }
    // Returns false when the lengths claim more codes than 16 bits can hold.
    bool build(const uint8_t* len, int n) {
        single_ = -1;
        unsigned count[kMaxBits + 1] = {};
        for (int i = 0; i < n; ++i)
            ++count[len[i]];
        bits_ = kMaxBits;
        while (bits_ > 1 && count[bits_] == 0)
            --bits_;
        // Where each length's codes start, counted in prefixes of bits_ bits.
        uint32_t start[kMaxBits + 2];
        start[1] = 0;
        for (int bits = 1; bits <= bits_; ++bits)
            start[bits + 1] = start[bits] + (count[bits] << (bits_ - bits));
        if (start[bits_ + 1] > (1u << bits_))
            return false;
        primary_ = std::min(bits_, kPrimaryBits);
        const int rest = bits_ - primary_;
        size_t used = size_t{1} << primary_;
        if (entry_.size() < used)
            entry_.resize(used);
        std::memset(entry_.data(), 0, used * sizeof(uint32_t));
        for (int i = 0; i < n; ++i) {
            const int l = len[i];
            if (l == 0)
                continue;
            const uint32_t from = start[l];
            start[l] = from + (1u << (bits_ - l));
            const uint32_t value = static_cast<uint32_t>(l) << 16 | static_cast<uint32_t>(i);
            if (l <= primary_) {
                std::fill_n(entry_.data() + (from >> rest), size_t{1} << (primary_ - l), value);
                continue;
            }
            if (entry_[from >> rest] == 0) {
                entry_[from >> rest] = kLink | static_cast<uint32_t>(used);
                entry_.resize(std::max(entry_.size(), used + (size_t{1} << rest)));
                std::memset(entry_.data() + used, 0, (size_t{1} << rest) * sizeof(uint32_t));
                used += size_t{1} << rest;
            }
            const uint32_t second = entry_[from >> rest] & ~kLink;
            std::fill_n(entry_.data() + second + (from & ((1u << rest) - 1)),
                        size_t{1} << (bits_ - l), value);
        }
        return true;
    }
    // The next symbol, or -1 for a bit pattern no code starts.
    [[gnu::always_inline]] int decode(BitReader& in) const {
        if (single_ >= 0)
            return single_;
        uint32_t e = entry_[in.peek(primary_)];
        if (e & kLink)
            e = entry_[(e & ~kLink) + (in.peek(bits_) & ((1u << (bits_ - primary_)) - 1))];
        if (e == 0)
            return -1;
        in.skip(static_cast<int>(e >> 16));
        return static_cast<int>(e & 0xFFFF);
    }

private:
    static constexpr uint32_t kLink = 0x80000000u;
    std::vector<uint32_t> entry_;
    int bits_ = 1;
    int primary_ = 1;
    int single_ = -1;
};

// What a decoder works in: kept by each thread from member to member, so that
// a small member costs no fresh memory. What they hold is never read before
// it is written.
struct Workspace {
    std::vector<uint8_t> input = std::vector<uint8_t>(65536);
    std::vector<uint8_t> out = std::vector<uint8_t>(kHistory + kChunk + kSlack);
    DecodeTable t;
    DecodeTable c;
    DecodeTable p;
};

thread_local Workspace tWorkspace;

class Decoder {
public:
    Decoder(int windowBits, const ByteSource& source, uint64_t inputSize, const ByteSink& sink,
            Workspace& work)
        : in_(source, inputSize, work.input), sink_(sink), np_(windowBits + 1),
          pBits_(windowBits + 1 < 16 ? 4 : 5), t_(work.t), c_(work.c), p_(work.p), out_(work.out) {}

    int run(uint64_t outputSize);

private:
    int readCount(DecodeTable& table, int nn, int fieldBits);
    bool readLengths(DecodeTable& table, int nn, int fieldBits, bool zeroRunAfterThird);
    bool readCLengths();
    bool readBlockHeader();

    BitReader in_;
    const ByteSink& sink_;
    int np_;
    int pBits_;
    DecodeTable& t_;
    DecodeTable& c_;
    DecodeTable& p_;
    std::vector<uint8_t>& out_;
};

// Reads how many code lengths a table of `nn` symbols has. A count of zero is
// followed by the one symbol every code stands for, which sets the table.
// Returns the count, 0 when the table is set, or -1 for a count or symbol out
// of range.
int Decoder::readCount(DecodeTable& table, int nn, int fieldBits) {
    const int n = static_cast<int>(in_.get(fieldBits));
    if (n == 0) {
        const int value = static_cast<int>(in_.get(fieldBits));
        if (value >= nn)
            return -1;
        table.setSingle(value);
        return 0;
    }
    return n > nn ? -1 : n;
}

bool Decoder::readLengths(DecodeTable& table, int nn, int fieldBits, bool zeroRunAfterThird) {
    const int n = readCount(table, nn, fieldBits);
    if (n <= 0)
        return n == 0;
    uint8_t len[32] = {};
    int i = 0;
    while (i < n) {
        int l = static_cast<int>(in_.get(3));
        if (l == 7) {
            while (in_.get(1)) {
                if (++l > kMaxBits)
                    return false;
            }
        }
        len[i++] = static_cast<uint8_t>(l);
        if (zeroRunAfterThird && i == 3) {
            int zeros = static_cast<int>(in_.get(2));
            while (zeros-- > 0 && i < nn)
                len[i++] = 0;
        }
    }
    return table.build(len, nn);
}

bool Decoder::readCLengths() {
    const int n = readCount(c_, kNC, 9);
    if (n <= 0)
        return n == 0;
    uint8_t len[kNC] = {};
    int i = 0;
    while (i < n) {
        int s = t_.decode(in_);
        if (s < 0)
            return false;
        if (s > 2) {
            len[i++] = static_cast<uint8_t>(s - 2);
            continue;
        }
        int run = s == 0   ? 1
                  : s == 1 ? static_cast<int>(in_.get(4)) + 3
                           : static_cast<int>(in_.get(9)) + 20;
        if (i + run > n)
            return false;
        i += run; // the lengths are already zero
    }
    return c_.build(len, kNC);
}

bool Decoder::readBlockHeader() {
    return readLengths(t_, kNT, 5, true) && readCLengths() && readLengths(p_, np_, pBits_, false) &&
           !in_.overrun();
}

int Decoder::run(uint64_t outputSize) {
    uint8_t* const begin = out_.data();
    uint8_t* const full = begin + kHistory + kChunk;
    uint8_t* at = begin;   // where the next byte goes
    uint8_t* sent = begin; // the bytes before it are handed on
    uint64_t done = 0;
    uint32_t blockLeft = 0;
    while (done < outputSize) {
        if (blockLeft == 0) {
            blockLeft = in_.get(16);
            if (!readBlockHeader())
                return in_.error() != arc::kOk ? in_.error() : arc::kErrBadData;
            if (blockLeft == 0)
                continue;
        }
        --blockLeft;
        int c = c_.decode(in_);
        if (c < 0)
            return arc::kErrBadData;
        if (c < 256) {
            *at++ = static_cast<uint8_t>(c);
            ++done;
        } else {
            uint32_t length = static_cast<uint32_t>(c - 253);
            int p = p_.decode(in_);
            if (p < 0)
                return arc::kErrBadData;
            uint32_t distance =
                (p <= 1 ? static_cast<uint32_t>(p) : ((1u << (p - 1)) | in_.get(p - 1))) + 1;
            if (distance > done || length > outputSize - done)
                return arc::kErrBadData;
            // No window is wider than kHistory, and that much of the output
            // is kept before `at` once there is as much.
            const uint8_t* from = at - distance;
            if (distance >= 16) {
                // A 16-byte step never reads what it writes; the last may run
                // past the match into the slack, written again later.
                for (uint32_t k = 0; k < length; k += 16)
                    std::memcpy(at + k, from + k, 16);
            } else {
                for (uint32_t k = 0; k < length; ++k)
                    at[k] = from[k];
            }
            at += length;
            done += length;
        }
        if (at >= full) {
            if (const int rc = sink_(sent, static_cast<size_t>(at - sent)); rc != arc::kOk)
                return rc;
            std::memmove(begin, at - kHistory, kHistory);
            at = begin + kHistory;
            sent = at;
        }
        if (in_.overrun())
            return in_.error() != arc::kOk ? in_.error() : arc::kErrBadData;
    }
    return at > sent ? sink_(sent, static_cast<size_t>(at - sent)) : arc::kOk;
}

} // namespace

int lhDecode(int windowBits, uint64_t inputSize, uint64_t outputSize, const ByteSource& source,
             const ByteSink& sink) {
    if (windowBits < 13 || windowBits > 16)
        return arc::kErrMethod;
    Decoder d(windowBits, source, inputSize, sink, tWorkspace);
    return d.run(outputSize);
}

} // namespace lha

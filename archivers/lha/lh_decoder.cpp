#include "lh_codec.h"

#include "results.h"

#include <cstring>
#include <vector>

namespace lha {

namespace {

constexpr int kNC = 510;
constexpr int kNT = 19;
constexpr int kMaxBits = 16;
constexpr size_t kRing = 1 << 16;

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
    void refill() {
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

// A decoding table for codes of up to 16 bits, indexed by as many bits as the
// longest code has: every prefix of that length maps to (length << 11) |
// symbol; 0 marks a prefix no code starts. Sized to the longest code, so that
// the short tables of small blocks cost little to build.
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
        uint32_t start[kMaxBits + 2];
        start[1] = 0;
        for (int bits = 1; bits <= bits_; ++bits)
            start[bits + 1] = start[bits] + (count[bits] << (bits_ - bits));
        if (start[bits_ + 1] > (1u << bits_))
            return false;
        const size_t entries = size_t{1} << bits_;
        if (entry_.size() < entries)
            entry_.resize(entries);
        std::memset(entry_.data(), 0, entries * sizeof(uint16_t));
        for (int i = 0; i < n; ++i) {
            int l = len[i];
            if (l == 0)
                continue;
            uint32_t from = start[l];
            uint32_t span = 1u << (bits_ - l);
            uint16_t value = static_cast<uint16_t>((l << 11) | i);
            for (uint32_t k = 0; k < span; ++k)
                entry_[from + k] = value;
            start[l] = from + span;
        }
        return true;
    }
    // The next symbol, or -1 for a bit pattern no code starts.
    int decode(BitReader& in) const {
        if (single_ >= 0)
            return single_;
        uint16_t e = entry_[in.peek(bits_)];
        if (e == 0)
            return -1;
        in.skip(e >> 11);
        return e & 0x7FF;
    }

private:
    std::vector<uint16_t> entry_;
    int bits_ = 1;
    int single_ = -1;
};

// What a decoder works in: kept by each thread from member to member, so that
// a small member costs no fresh memory. What they hold is never read before
// it is written.
struct Workspace {
    std::vector<uint8_t> input = std::vector<uint8_t>(65536);
    std::vector<uint8_t> ring = std::vector<uint8_t>(kRing);
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
          pBits_(windowBits + 1 < 16 ? 4 : 5), t_(work.t), c_(work.c), p_(work.p),
          ring_(work.ring) {}

    int run(uint64_t outputSize);

private:
    int readCount(DecodeTable& table, int nn, int fieldBits);
    bool readLengths(DecodeTable& table, int nn, int fieldBits, bool zeroRunAfterThird);
    bool readCLengths();
    bool readBlockHeader();
    int flush(size_t upTo);

    BitReader in_;
    const ByteSink& sink_;
    int np_;
    int pBits_;
    DecodeTable& t_;
    DecodeTable& c_;
    DecodeTable& p_;
    std::vector<uint8_t>& ring_;
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

int Decoder::flush(size_t upTo) {
    return upTo ? sink_(ring_.data(), upTo) : arc::kOk;
}

int Decoder::run(uint64_t outputSize) {
    uint64_t done = 0;
    size_t at = 0; // position in the ring
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
            ring_[at++] = static_cast<uint8_t>(c);
            ++done;
            if (at == kRing) {
                int rc = flush(at);
                if (rc != arc::kOk)
                    return rc;
                at = 0;
            }
        } else {
            uint32_t length = static_cast<uint32_t>(c - 253);
            int p = p_.decode(in_);
            if (p < 0)
                return arc::kErrBadData;
            uint32_t distance =
                (p <= 1 ? static_cast<uint32_t>(p) : ((1u << (p - 1)) | in_.get(p - 1))) + 1;
            if (distance > done || length > outputSize - done)
                return arc::kErrBadData;
            size_t from = (at + kRing - distance) & (kRing - 1);
            for (uint32_t k = 0; k < length; ++k) {
                ring_[at++] = ring_[from];
                from = (from + 1) & (kRing - 1);
                if (at == kRing) {
                    int rc = flush(at);
                    if (rc != arc::kOk)
                        return rc;
                    at = 0;
                }
            }
            done += length;
        }
        if (in_.overrun())
            return in_.error() != arc::kOk ? in_.error() : arc::kErrBadData;
    }
    return flush(at);
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

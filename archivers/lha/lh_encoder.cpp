#include "lh_codec.h"

#include "lh_huffman.h"
#include "results.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

namespace lha {

namespace {

constexpr int kNC = 510;  // literal/length symbols: 256 bytes + lengths 3..256
constexpr int kNT = 19;   // symbols of the table that codes the C code lengths
constexpr int kCBits = 9; // width of the C table's size field
constexpr int kTBits = 5; // width of the T table's size field
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 256;
constexpr size_t kSegmentBytes = 1 << 20;
constexpr size_t kSegmentsHeld = 4; // filled before they are compressed together
constexpr size_t kMaxBlockSymbols = 65535;
constexpr size_t kMinSplitSymbols = 1024;
constexpr int kHashBits = 14;

int positionSymbols(int windowBits) {
    return windowBits + 1;
}
int positionFieldBits(int windowBits) {
    return positionSymbols(windowBits) < 16 ? 4 : 5;
}

int bitLength(uint32_t v) {
    return v == 0 ? 0 : 32 - __builtin_clz(v);
}

class BitWriter {
public:
    void put(uint32_t value, int bits) {
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1));
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            bytes_.push_back(static_cast<uint8_t>(acc_ >> count_));
        }
    }
    std::vector<uint8_t>& bytes() { return bytes_; }
    uint32_t tail() const { return static_cast<uint32_t>(acc_ & ((1u << count_) - 1)); }
    int tailCount() const { return count_; }
    uint64_t bitCount() const { return bytes_.size() * 8 + static_cast<uint64_t>(count_); }

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

// A symbol of the parse: bits 0-8 the literal/length symbol, bits 9-24 distance-1.
inline uint32_t literal(uint8_t b) {
    return b;
}
inline uint32_t match(int length, uint32_t distance) {
    return static_cast<uint32_t>(256 + length - kMinMatch) | ((distance - 1) << 9);
}

struct Table {
    std::vector<uint8_t> len;
    std::vector<uint16_t> code;
    int single = -1; // the one symbol of a table written as a single value
    int count = 0;   // the table's size field: one past the last used symbol
};

Table makeTable(const uint32_t* freq, int n) {
    Table t;
    t.len.assign(n, 0);
    t.code.assign(n, 0);
    int used = 0;
    int last = 0;
    for (int i = 0; i < n; ++i) {
        if (freq[i]) {
            ++used;
            last = i;
        }
    }
    if (used < 2) {
        t.single = last;
        return t;
    }
    buildCodeLengths(freq, n, kMaxCodeBits, t.len.data());
    buildCanonicalCodes(t.len.data(), n, t.code.data());
    t.count = last + 1;
    return t;
}

// The lengths of a T or P table: 0-6 in three bits, 7 and up as 111 followed by
// (length-7) one bits and a zero. The T table has a two-bit count of zero
// lengths after its third entry.
template <class W> void writeLengths(W& w, const Table& t, int fieldBits, bool zeroRunAfterThird) {
    if (t.single >= 0) {
        w.put(0, fieldBits);
        w.put(static_cast<uint32_t>(t.single), fieldBits);
        return;
    }
    w.put(static_cast<uint32_t>(t.count), fieldBits);
    for (int i = 0; i < t.count;) {
        int l = t.len[i++];
        if (l <= 6)
            w.put(static_cast<uint32_t>(l), 3);
        else
            w.put(((1u << (l - 4)) - 1) << 1, l - 3);
        if (zeroRunAfterThird && i == 3) {
            int zeros = 0;
            while (zeros < 3 && i + zeros < t.count && t.len[i + zeros] == 0)
                ++zeros;
            w.put(static_cast<uint32_t>(zeros), 2);
            i += zeros;
        }
    }
}

// Walks the C code lengths as T symbols (runs of zeros folded), calling
// out(symbol, extraValue, extraBits) for each.
template <class F> void forEachCLengthSymbol(const Table& c, F out) {
    for (int i = 0; i < c.count;) {
        int l = c.len[i++];
        if (l != 0) {
            out(l + 2, 0u, 0);
            continue;
        }
        int run = 1;
        while (i < c.count && c.len[i] == 0) {
            ++i;
            ++run;
        }
        if (run <= 2) {
            for (int k = 0; k < run; ++k)
                out(0, 0u, 0);
        } else if (run <= 18) {
            out(1, static_cast<uint32_t>(run - 3), 4);
        } else if (run == 19) {
            out(0, 0u, 0);
            out(1, 15u, 4);
        } else {
            out(2, static_cast<uint32_t>(run - 20), kCBits);
        }
    }
}

struct BlockTables {
    Table c;
    Table p;
    Table t;
};

BlockTables makeBlockTables(const uint32_t* cfreq, const uint32_t* pfreq, int np) {
    BlockTables b;
    b.c = makeTable(cfreq, kNC);
    b.p = makeTable(pfreq, np);
    uint32_t tfreq[kNT] = {};
    if (b.c.single < 0)
        forEachCLengthSymbol(b.c, [&](int s, uint32_t, int) { ++tfreq[s]; });
    b.t = makeTable(tfreq, kNT);
    if (b.c.single >= 0)
        b.t.single = 0;
    return b;
}

template <class W> void writeHeader(W& w, const BlockTables& b, size_t symbols, int pBits) {
    w.put(static_cast<uint32_t>(symbols), 16);
    writeLengths(w, b.t, kTBits, true);
    if (b.c.single >= 0) {
        w.put(0, kCBits);
        w.put(static_cast<uint32_t>(b.c.single), kCBits);
    } else {
        w.put(static_cast<uint32_t>(b.c.count), kCBits);
        forEachCLengthSymbol(b.c, [&](int s, uint32_t extra, int extraBits) {
            if (b.t.single < 0)
                w.put(b.t.code[s], b.t.len[s]);
            if (extraBits)
                w.put(extra, extraBits);
        });
    }
    writeLengths(w, b.p, pBits, false);
}

struct Frequencies {
    uint32_t c[kNC];
    uint32_t p[17];
};

void countRange(const uint32_t* sym, size_t n, Frequencies& f) {
    std::memset(&f, 0, sizeof f);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = sym[i] & 0x1FF;
        ++f.c[c];
        if (c >= 256)
            ++f.p[bitLength(sym[i] >> 9)];
    }
}

// Bits a block of these symbols takes, extra distance bits left out (they do not
// depend on how the symbols are cut into blocks).
uint64_t blockCost(const Frequencies& f, size_t symbols, int np, int pBits) {
    BlockTables b = makeBlockTables(f.c, f.p, np);
    BitCounter counter;
    writeHeader(counter, b, symbols, pBits);
    uint64_t bits = counter.bits();
    if (b.c.single < 0)
        for (int i = 0; i < kNC; ++i)
            bits += static_cast<uint64_t>(f.c[i]) * b.c.len[i];
    if (b.p.single < 0)
        for (int i = 0; i < np; ++i)
            bits += static_cast<uint64_t>(f.p[i]) * b.p.len[i];
    return bits;
}

// Where the last block of a run of blocks was written, so that it can be
// written again differently.
struct LastBlock {
    BitWriter::Mark mark;
    const uint32_t* sym = nullptr;
    size_t n = 0;
};

// Writes one block. `extraP` and `extraT` add that many zero-length entries to
// the end of the position and T tables: the same codes in a few more bits.
// Returns false when the tables have no room for them.
bool writeBlock(BitWriter& w, const uint32_t* sym, size_t n, const Frequencies& f, int np,
                int pBits, LastBlock& last, int extraP = 0, int extraT = 0) {
    BlockTables b = makeBlockTables(f.c, f.p, np);
    if (extraP && (b.p.single >= 0 || b.p.count + extraP > np))
        return false;
    if (extraT && (b.t.single >= 0 || b.t.count + extraT > kNT))
        return false;
    b.p.count += extraP;
    b.t.count += extraT;
    last = {w.mark(), sym, n};
    writeHeader(w, b, n, pBits);
    const bool cCoded = b.c.single < 0;
    const bool pCoded = b.p.single < 0;
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = sym[i] & 0x1FF;
        if (cCoded)
            w.put(b.c.code[c], b.c.len[c]);
        if (c < 256)
            continue;
        uint32_t v = sym[i] >> 9;
        int p = bitLength(v);
        if (pCoded)
            w.put(b.p.code[p], b.p.len[p]);
        if (p > 1)
            w.put(v, p - 1);
    }
    return true;
}

// Cuts a run of symbols into blocks: a range is halved while the two halves
// cost fewer bits than the whole, and always when it is over the block limit.
void writeBlocks(BitWriter& w, const uint32_t* sym, size_t n, int np, int pBits, LastBlock& last) {
    Frequencies whole;
    countRange(sym, n, whole);
    if (n <= kMaxBlockSymbols && n < 2 * kMinSplitSymbols) {
        writeBlock(w, sym, n, whole, np, pBits, last);
        return;
    }
    const size_t half = n / 2;
    Frequencies left;
    Frequencies right;
    countRange(sym, half, left);
    countRange(sym + half, n - half, right);
    if (n <= kMaxBlockSymbols &&
        blockCost(left, half, np, pBits) + blockCost(right, n - half, np, pBits) >=
            blockCost(whole, n, np, pBits)) {
        writeBlock(w, sym, n, whole, np, pBits, last);
        return;
    }
    writeBlocks(w, sym, half, np, pBits, last);
    writeBlocks(w, sym + half, n - half, np, pBits, last);
}

inline uint32_t hash3(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                 (static_cast<uint32_t>(p[2]) << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
}

inline int matchLength(const uint8_t* a, const uint8_t* b, int limit) {
    int n = 0;
    while (n + 8 <= limit) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return n + (__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

} // namespace

int windowBitsOfMethod(char methodDigit) {
    switch (methodDigit) {
    case '5':
        return 13;
    case '6':
        return 15;
    case '7':
        return 16;
    default:
        return 0;
    }
}

// One segment of input with the window of text before it, and its output.
struct LhEncoder::Segment {
    std::vector<uint8_t> buf; // history, then the segment's own bytes, then padding
    size_t history = 0;
    size_t size = 0; // history + own bytes
    std::vector<int32_t> head;
    std::vector<int32_t> tree; // two children per window position
    std::vector<uint32_t> symbols;
    BitWriter out;

    LastBlock lastBlock;

    void encode(int windowBits);
    void parse(int windowBits);
    void avoidAlignedEnd(int windowBits, int bitsBefore);
};

namespace {

// Bit prices of the symbols, from the statistics of the text parsed so far.
struct Prices {
    uint32_t symbol[kNC];
    uint32_t position[17]; // position symbol plus its extra bits
    uint32_t cfreq[kNC];
    uint32_t pfreq[17];
    int np;

    explicit Prices(int positions) : np(positions) {
        // A first guess until statistics exist (sixteenths of a bit): bytes 8 bits,
        // matches a little more.
        for (int c = 0; c < kNC; ++c)
            symbol[c] = 16 * (c < 256 ? 8
                                      : 6 + static_cast<uint32_t>(
                                                bitLength(static_cast<uint32_t>(c - 256 + 1))));
        for (int p = 0; p < np; ++p)
            position[p] = 16 * (3 + static_cast<uint32_t>(p > 1 ? p - 1 : 0));
        std::memset(cfreq, 0, sizeof cfreq);
        std::memset(pfreq, 0, sizeof pfreq);
    }

    void count(uint32_t sym) {
        uint32_t c = sym & 0x1FF;
        ++cfreq[c];
        if (c >= 256)
            ++pfreq[bitLength(sym >> 9)];
    }

    // New prices from the counts, in sixteenths of a bit: -log2 of each symbol's
    // share. Counts then fade by an eighth, so recent text weighs most.
    void update() {
        uint64_t total = 0;
        for (int c = 0; c < kNC; ++c)
            total += cfreq[c] * 4 + 1;
        for (int c = 0; c < kNC; ++c) {
            symbol[c] = bitPrice(cfreq[c] * 4 + 1, total);
            cfreq[c] -= cfreq[c] >> 3;
        }
        total = 0;
        for (int p = 0; p < np; ++p)
            total += pfreq[p] * 4 + 1;
        for (int p = 0; p < np; ++p) {
            position[p] =
                bitPrice(pfreq[p] * 4 + 1, total) + 16 * static_cast<uint32_t>(p > 1 ? p - 1 : 0);
            pfreq[p] -= pfreq[p] >> 3;
        }
    }
    static uint32_t bitPrice(uint64_t f, uint64_t total) {
        double bits = std::log2(static_cast<double>(total) / static_cast<double>(f));
        return static_cast<uint32_t>(std::min(bits, 16.0) * 16.0 + 0.5);
    }

    uint32_t literal(uint8_t b) const { return symbol[b]; }
    uint32_t match(int length, uint32_t distance) const {
        return symbol[256 + length - kMinMatch] + position[bitLength(distance - 1)];
    }
};

struct Candidate {
    int length;
    int32_t distance;
};

constexpr int kParseChunk = 8192; // positions priced together before the path is chosen
constexpr int kSearchDepth = 16;  // tree nodes visited per position
constexpr int kFullPricing = 16;  // longer matches are priced at their full length only

} // namespace

// Optimal parsing over chunks: for each position the matches of increasing
// length are found in binary trees, and the cheapest way to reach every
// position of the chunk (by a literal or a match) is priced with the bit costs
// learnt from the text before. A match of the longest length ends the chunk
// early and is taken as it is, which keeps long runs fast.
void LhEncoder::Segment::parse(int windowBits) {
    const int32_t window = 1 << windowBits;
    const int32_t mask = window - 1;
    const int32_t maxDistance = window - 1;
    const int32_t end = static_cast<int32_t>(size);
    const uint8_t* b = buf.data();
    head.assign(size_t{1} << kHashBits, -1);
    tree.assign(2 * static_cast<size_t>(window), -1);
    symbols.clear();

    // Earlier positions are kept in binary trees, one per hash of the next three
    // bytes, ordered by the (up to 256) bytes of text that follow each position.
    // Looking a position up also makes it the tree's new root: the walk down
    // splits the tree into the positions whose text sorts below it and those
    // above. Every node under the two bounds shares at least as many leading
    // bytes with the new text as the bounds do, so comparisons start there.
    Candidate found[kMaxMatch];
    auto walk = [&](int32_t pos, bool record) {
        const int limit = std::min(kMaxMatch, end - pos);
        if (limit < kMinMatch)
            return 0;
        const uint32_t h = hash3(b + pos);
        int32_t cand = head[h];
        head[h] = pos;
        int32_t* below = &tree[2 * static_cast<size_t>(pos & mask)];
        int32_t* above = below + 1;
        int lenBelow = 0;
        int lenAbove = 0;
        int best = kMinMatch - 1;
        int count = 0;
        int depth = kSearchDepth;
        while (cand >= 0 && pos - cand <= maxDistance && depth-- > 0) {
            int32_t* node = &tree[2 * static_cast<size_t>(cand & mask)];
            int len = std::min(lenBelow, lenAbove);
            len += matchLength(b + cand + len, b + pos + len, limit - len);
            if (len > best) {
                best = len;
                if (record)
                    found[count++] = {len, pos - cand};
            }
            if (len >= limit) {
                if (limit == kMaxMatch) {
                    // Equal as far as texts are compared: pos takes cand's place.
                    *below = node[0];
                    *above = node[1];
                    return count;
                }
                break; // near the end: the shorter text cannot be placed exactly
            }
            if (b[cand + len] < b[pos + len]) {
                *below = cand;
                below = &node[1];
                cand = *below;
                lenBelow = len;
            } else {
                *above = cand;
                above = &node[0];
                cand = *above;
                lenAbove = len;
            }
        }
        *below = -1;
        *above = -1;
        return count;
    };

    for (int32_t pos = 0; pos < static_cast<int32_t>(history); ++pos)
        walk(pos, false);

    Prices prices(positionSymbols(windowBits));
    std::vector<uint32_t> cost(kParseChunk + 1);
    // How each position is reached: bits 0-8 the length (1 for a literal),
    // bits 9-24 the distance.
    std::vector<uint32_t> step(kParseChunk + 1);
    std::vector<uint32_t> path;
    std::vector<Candidate> matches; // the chunk's matches, position by position
    std::vector<uint32_t> firstMatch(kParseChunk + 1);

    int32_t pos = static_cast<int32_t>(history);
    while (pos < end) {
        const int n = static_cast<int>(std::min<int32_t>(kParseChunk, end - pos));
        int stop = n;          // where the priced path ends
        Candidate taken{0, 0}; // a match of the longest length, taken after it
        matches.clear();
        for (int i = 0; i < n; ++i) {
            firstMatch[i] = static_cast<uint32_t>(matches.size());
            const int count = walk(pos + i, true);
            if (count > 0 && found[count - 1].length == kMaxMatch) {
                stop = i;
                taken = found[count - 1];
                break;
            }
            matches.insert(matches.end(), found, found + count);
        }
        firstMatch[stop] = static_cast<uint32_t>(matches.size());

        // The cheapest way to reach each position of [0, stop]: by a literal, or
        // by a match of any length up to kFullPricing, or the match's full length.
        // The prices are copied so that the compiler keeps them apart from the
        // costs being written.
        uint32_t literalPrice[256];
        uint32_t lengthPrice[kMaxMatch + 1];
        uint32_t distancePrice[17];
        std::memcpy(literalPrice, prices.symbol, sizeof literalPrice);
        std::memcpy(lengthPrice + kMinMatch, prices.symbol + 256,
                    sizeof(uint32_t) * (kMaxMatch + 1 - kMinMatch));
        std::memcpy(distancePrice, prices.position, sizeof distancePrice);
        std::fill(cost.begin(), cost.begin() + stop + 1, UINT32_MAX);
        cost[0] = 0;
        for (int i = 0; i < stop; ++i) {
            const uint32_t here = cost[i];
            uint32_t lit = here + literalPrice[b[pos + i]];
            if (lit < cost[i + 1]) {
                cost[i + 1] = lit;
                step[i + 1] = 1;
            }
            int from = kMinMatch;
            for (uint32_t k = firstMatch[i]; k < firstMatch[i + 1]; ++k) {
                const int top = std::min(matches[k].length, stop - i);
                const uint32_t d = static_cast<uint32_t>(matches[k].distance);
                const uint32_t base = here + distancePrice[bitLength(d - 1)];
                const uint32_t tag = d << 9;
                const int full = std::min(top, kFullPricing);
                for (int len = from; len <= full; ++len) {
                    uint32_t c = base + lengthPrice[len];
                    if (c < cost[i + len]) {
                        cost[i + len] = c;
                        step[i + len] = tag | static_cast<uint32_t>(len);
                    }
                }
                if (top > full && top >= from) {
                    uint32_t c = base + lengthPrice[top];
                    if (c < cost[i + top]) {
                        cost[i + top] = c;
                        step[i + top] = tag | static_cast<uint32_t>(top);
                    }
                }
                from = std::max(from, matches[k].length + 1);
            }
        }
        // Walk the cheapest path back from its end, then emit it forwards.
        path.clear();
        for (int i = stop; i > 0;) {
            const int len = static_cast<int>(step[i] & 0x1FF);
            path.push_back(len == 1 ? literal(b[pos + i - 1]) : match(len, step[i] >> 9));
            i -= len;
        }
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            symbols.push_back(*it);
            prices.count(*it);
        }
        pos += stop;
        if (taken.length) {
            uint32_t m = match(taken.length, static_cast<uint32_t>(taken.distance));
            symbols.push_back(m);
            prices.count(m);
            for (int32_t k = pos + 1; k < pos + taken.length; ++k)
                walk(k, false);
            pos += taken.length;
        }
        prices.update();
    }
}

void LhEncoder::Segment::encode(int windowBits) {
    out.clear();
    parse(windowBits);
    lastBlock = LastBlock{};
    writeBlocks(out, symbols.data(), symbols.size(), positionSymbols(windowBits),
                positionFieldBits(windowBits), lastBlock);
}

// lhasa and 7z both read one byte past the last code, and disagree on a stream
// that ends exactly on a byte boundary (lhasa needs a byte more, 7z refuses
// one). So such a stream gets its last block written again with a table entry
// or two more, until its end falls inside a byte.
void LhEncoder::Segment::avoidAlignedEnd(int windowBits, int bitsBefore) {
    if (!lastBlock.sym || (bitsBefore + out.bitCount()) % 8 != 0)
        return;
    const int np = positionSymbols(windowBits);
    const int pBits = positionFieldBits(windowBits);
    Frequencies f;
    countRange(lastBlock.sym, lastBlock.n, f);
    const LastBlock original = lastBlock;
    static const int variants[][2] = {{1, 0}, {0, 1}, {2, 0}, {0, 2}, {1, 1}, {3, 0}, {0, 3}};
    for (const auto& v : variants) {
        out.rewind(original.mark);
        if (writeBlock(out, original.sym, original.n, f, np, pBits, lastBlock, v[0], v[1]) &&
            (bitsBefore + out.bitCount()) % 8 != 0)
            return;
    }
    out.rewind(original.mark);
    writeBlock(out, original.sym, original.n, f, np, pBits, lastBlock);
}

LhEncoder::LhEncoder(int windowBits, ByteSink sink)
    : windowBits_(windowBits), sink_(std::move(sink)) {
    for (size_t i = 0; i < kSegmentsHeld; ++i)
        segments_.push_back(std::make_unique<Segment>());
}

LhEncoder::~LhEncoder() = default;

int LhEncoder::emit(const std::vector<uint8_t>& bytes) {
    if (bytes.empty())
        return arc::kOk;
    outBytes_ += bytes.size();
    return sink_(bytes.data(), bytes.size());
}

int LhEncoder::write(const uint8_t* data, size_t size) {
    const size_t window = size_t{1} << windowBits_;
    while (size > 0) {
        Segment* seg = filled_ ? segments_[filled_ - 1].get() : nullptr;
        if (!seg || seg->size - seg->history == kSegmentBytes) {
            if (filled_ == segments_.size()) {
                int rc = encodePending(false);
                if (rc != arc::kOk)
                    return rc;
            }
            Segment* next = segments_[filled_].get();
            // The new segment's history is the window of text before it.
            const uint8_t* histSrc = seg ? seg->buf.data() : history_.data();
            size_t histLen = seg ? seg->size : history_.size();
            size_t keep = std::min(window, histLen);
            next->buf.resize(keep + kSegmentBytes + 8);
            if (keep > 0)
                std::memcpy(next->buf.data(), histSrc + histLen - keep, keep);
            next->history = keep;
            next->size = keep;
            ++filled_;
            seg = next;
        }
        size_t room = kSegmentBytes - (seg->size - seg->history);
        size_t take = std::min(room, size);
        std::memcpy(seg->buf.data() + seg->size, data, take);
        seg->size += take;
        data += take;
        size -= take;
    }
    return arc::kOk;
}

int LhEncoder::encodePending(bool last) {
    if (filled_ == 0)
        return arc::kOk;
    const int bits = windowBits_;
    // Two threads take the segments in turn, so that one that compresses slowly
    // does not leave the other core idle.
    std::atomic<size_t> next{0};
    auto work = [this, bits, &next] {
        for (size_t i; (i = next.fetch_add(1)) < filled_;)
            segments_[i]->encode(bits);
    };
    if (filled_ > 1) {
        std::thread worker(work);
        work();
        worker.join();
    } else {
        work();
    }
    for (size_t i = 0; i < filled_; ++i) {
        Segment& seg = *segments_[i];
        if (last && i + 1 == filled_)
            seg.avoidAlignedEnd(windowBits_, tailCount_);
        std::vector<uint8_t>& bytes = seg.out.bytes();
        int rc;
        if (tailCount_ == 0) {
            rc = emit(bytes);
        } else {
            // Join the segment's bits onto the partial byte left by the one before.
            const int shift = tailCount_;
            uint32_t carry = tailBits_;
            for (auto& byte : bytes) {
                uint32_t b = byte;
                byte = static_cast<uint8_t>((carry << (8 - shift)) | (b >> shift));
                carry = b & ((1u << shift) - 1);
            }
            rc = emit(bytes);
            tailBits_ = carry;
        }
        if (rc != arc::kOk)
            return rc;
        // Append the segment's own partial byte to the carried bits.
        tailBits_ = (tailBits_ << seg.out.tailCount()) | seg.out.tail();
        tailCount_ += seg.out.tailCount();
        if (tailCount_ >= 8) {
            tailCount_ -= 8;
            std::vector<uint8_t> one{static_cast<uint8_t>(tailBits_ >> tailCount_)};
            tailBits_ &= (1u << tailCount_) - 1;
            rc = emit(one);
            if (rc != arc::kOk)
                return rc;
        }
    }
    Segment& lastSeg = *segments_[filled_ - 1];
    const size_t window = size_t{1} << windowBits_;
    size_t keep = std::min(window, lastSeg.size);
    history_.assign(lastSeg.buf.begin() + static_cast<long>(lastSeg.size - keep),
                    lastSeg.buf.begin() + static_cast<long>(lastSeg.size));
    filled_ = 0;
    if (last && tailCount_ > 0) {
        std::vector<uint8_t> end{static_cast<uint8_t>(tailBits_ << (8 - tailCount_))};
        tailCount_ = 0;
        tailBits_ = 0;
        return emit(end);
    }
    return arc::kOk;
}

int LhEncoder::finish() {
    return encodePending(true);
}

} // namespace lha

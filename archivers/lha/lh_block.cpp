#include "lh_block.h"

#include "huffman_lengths.h"
#include "noise.h"
#include "step_counts.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lha {

namespace {

constexpr int kNT = 19;   // symbols of the table that codes the C code lengths
constexpr int kCBits = 9; // width of the C table's size field
constexpr int kTBits = 5; // width of the T table's size field
constexpr size_t kMaxBlockSymbols = 65535;
constexpr size_t kMinSplitSymbols = 1024;
constexpr int kMaxCodeBits = 16; // the longest code any table of these methods may use
static_assert(kMaxCodeBits <= huff::kMaxCanonicalBits);

int positionFieldBits(int windowBits) {
    return positionSymbols(windowBits) < 16 ? 4 : 5;
}

// A table of up to kNC symbols, the largest. Its codes are worked out only
// for a block that is written: weighing a block needs only the lengths.
struct Table {
    uint8_t len[kNC];
    uint16_t code[kNC];
    int single = -1; // the one symbol of a table written as a single value
    int count = 0;   // the table's size field: one past the last used symbol
};

void makeTable(Table& t, const uint32_t* freq, int n, bool codes) {
    std::memset(t.len, 0, static_cast<size_t>(n));
    // Without a branch on each count, which mostly could go either way.
    int used = 0;
    int last = 0;
    for (int i = 0; i < n; ++i) {
        used += freq[i] != 0;
        last = freq[i] ? i : last;
    }
    if (used < 2) {
        t.single = last;
        return;
    }
    huff::buildCodeLengths(freq, n, kMaxCodeBits, t.len);
    if (codes)
        huff::buildCanonicalCodes(t.len, n, t.code);
    else
        std::memset(t.code, 0, static_cast<size_t>(n) * sizeof t.code[0]); // counted, not sent
    t.count = last + 1;
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

// The tables of a block with these counts, with their codes when `codes`.
void makeBlockTables(BlockTables& b, const uint32_t* cfreq, const uint32_t* pfreq, int np,
                     bool codes) {
    makeTable(b.c, cfreq, kNC, codes);
    makeTable(b.p, pfreq, np, codes);
    uint32_t tfreq[kNT] = {};
    if (b.c.single < 0)
        forEachCLengthSymbol(b.c, [&](int s, uint32_t, int) { ++tfreq[s]; });
    makeTable(b.t, tfreq, kNT, codes);
    if (b.c.single >= 0)
        b.t.single = 0;
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
    uint32_t p[kMaxPositionSymbols];
};

void addRange(const uint32_t* sym, size_t n, Frequencies& f) {
    lz::countSymbols(sym, n, f.c, [&f](uint32_t s) {
        ++f.c[s & 0x1FF];
        ++f.p[bitLength(s >> 9)];
    });
}

void countRange(const uint32_t* sym, size_t n, Frequencies& f) {
    std::memset(&f, 0, sizeof f);
    addRange(sym, n, f);
}

Frequencies difference(const Frequencies& whole, const Frequencies& part) {
    Frequencies f;
    for (int i = 0; i < kNC; ++i)
        f.c[i] = whole.c[i] - part.c[i];
    for (int i = 0; i < kMaxPositionSymbols; ++i)
        f.p[i] = whole.p[i] - part.p[i];
    return f;
}

using RunCounts = arc::StepCounts<Frequencies, uint32_t>;

// Bits a block of these symbols takes, extra distance bits left out (they do not
// depend on how the symbols are cut into blocks).
uint64_t blockCost(const Frequencies& f, size_t symbols, int np, int pBits) {
    BlockTables b;
    makeBlockTables(b, f.c, f.p, np, false);
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

// Whether the C table codes the 256 bytes alone, each as itself: eight bits
// long, counting up in byte order, as canonical codes of one length do. A
// block of evenly spread bytes (noise) has such a table.
bool codesBytesAsThemselves(const Table& c) {
    if (c.single >= 0 || c.count != 256)
        return false;
    for (int i = 0; i < 256; ++i)
        if (c.len[i] != 8 || c.code[i] != i)
            return false;
    return true;
}

// What blocks are written from: the parse's symbols, which the halving counts
// by their steps (`counts`, or a pass over them without), ...
struct ParsedRun {
    const uint32_t* sym;
    const RunCounts* counts;

    void count(size_t from, size_t n, Frequencies& f) const {
        if (counts)
            counts->count(sym + from, n, f);
        else
            countRange(sym + from, n, f);
    }
    void remember(LastBlock& last, const BitWriter::Mark& mark, size_t from, size_t n) const {
        last = {mark, sym + from, nullptr, n};
    }
    void copyBytes(BitWriter::Burst& out, size_t from, size_t n) const {
        const uint32_t* const s = sym + from;
        size_t i = 0;
        for (; i + 4 <= n; i += 4)
            out.put32(s[i] << 24 | s[i + 1] << 16 | s[i + 2] << 8 | s[i + 3]);
        for (; i < n; ++i)
            out.put(s[i], 8);
    }
    void code(BitWriter::Burst& out, size_t from, size_t n, const BlockTables& b) const {
        const bool cCoded = b.c.single < 0;
        const bool pCoded = b.p.single < 0;
        const uint16_t* const cCode = b.c.code;
        const uint8_t* const cLen = b.c.len;
        const uint16_t* const pCode = b.p.code;
        const uint8_t* const pLen = b.p.len;
        const uint32_t* const s = sym + from;
        for (size_t i = 0; i < n; ++i) {
            uint32_t c = s[i] & 0x1FF;
            if (cCoded)
                out.put(cCode[c], cLen[c]);
            if (c < 256)
                continue;
            uint32_t v = s[i] >> 9;
            int p = bitLength(v);
            if (pCoded)
                out.put(pCode[p], pLen[p]);
            if (p > 1)
                out.put(v, p - 1);
        }
    }
};

// ... or bytes alone, each its own literal (noise without repeats), which
// need no symbols made of them.
struct ByteRun {
    const uint8_t* bytes;

    void count(size_t from, size_t n, Frequencies& f) const {
        std::memset(&f, 0, sizeof f);
        arc::countBytes(bytes + from, n, f.c);
    }
    void remember(LastBlock& last, const BitWriter::Mark& mark, size_t from, size_t n) const {
        last = {mark, nullptr, bytes + from, n};
    }
    void copyBytes(BitWriter::Burst& out, size_t from, size_t n) const {
        const uint8_t* const b = bytes + from;
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            uint32_t four;
            std::memcpy(&four, b + i, 4);
            out.put32(__builtin_bswap32(four));
        }
        for (; i < n; ++i)
            out.put(b[i], 8);
    }
    void code(BitWriter::Burst& out, size_t from, size_t n, const BlockTables& t) const {
        if (t.c.single >= 0)
            return; // one byte value throughout: the table says it all
        const uint16_t* const cCode = t.c.code;
        const uint8_t* const cLen = t.c.len;
        const uint8_t* const b = bytes + from;
        for (size_t i = 0; i < n; ++i)
            out.put(cCode[b[i]], cLen[b[i]]);
    }
};

// Writes one block: the `n` symbols of the run from `from` on, whose counts
// are `f`. `extraP` and `extraT` add that many zero-length entries to the end
// of the position and T tables: the same codes in a few more bits. Returns
// false when the tables have no room for them.
template <class Run>
bool writeBlock(BitWriter& w, const Run& run, size_t from, size_t n, const Frequencies& f, int np,
                int pBits, LastBlock& last, int extraP = 0, int extraT = 0) {
    BlockTables b;
    makeBlockTables(b, f.c, f.p, np, true);
    if (extraP && (b.p.single >= 0 || b.p.count + extraP > np))
        return false;
    if (extraT && (b.t.single >= 0 || b.t.count + extraT > kNT))
        return false;
    b.p.count += extraP;
    b.t.count += extraT;
    run.remember(last, w.mark(), from, n);
    writeHeader(w, b, n, pBits);
    // The codes take at most this many bits.
    uint64_t bits = 0;
    if (b.c.single < 0)
        for (int i = 0; i < kNC; ++i)
            bits += static_cast<uint64_t>(f.c[i]) * b.c.len[i];
    for (int i = 0; i < np; ++i)
        bits += static_cast<uint64_t>(f.p[i]) *
                ((b.p.single < 0 ? b.p.len[i] : 0) + std::max(i - 1, 0));
    BitWriter::Burst out = w.burst(static_cast<size_t>(bits / 8 + 8));
    // Bytes and nothing else (noise, mostly) are each their own code.
    if (codesBytesAsThemselves(b.c))
        run.copyBytes(out, from, n);
    else
        run.code(out, from, n, b);
    w.endBurst(out);
    return true;
}

// `whole` holds the range's counts and `wholeCost` its price when the caller
// has it (0 when not), so that neither is worked out twice.
template <class Run>
void splitAndWrite(BitWriter& w, const Run& run, size_t from, size_t n, const Frequencies& whole,
                   uint64_t wholeCost, int np, int pBits, LastBlock& last) {
    if (n <= kMaxBlockSymbols && n < 2 * kMinSplitSymbols) {
        writeBlock(w, run, from, n, whole, np, pBits, last);
        return;
    }
    const size_t half = n / 2;
    Frequencies left;
    run.count(from, half, left);
    const Frequencies right = difference(whole, left);
    // A range too long for one block is cut whatever it costs: the halves'
    // prices are then left to them, which ask for them only if they weigh
    // a cut of their own.
    if (n > kMaxBlockSymbols) {
        splitAndWrite(w, run, from, half, left, 0, np, pBits, last);
        splitAndWrite(w, run, from + half, n - half, right, 0, np, pBits, last);
        return;
    }
    const uint64_t leftCost = blockCost(left, half, np, pBits);
    const uint64_t rightCost = blockCost(right, n - half, np, pBits);
    if (leftCost + rightCost >= (wholeCost ? wholeCost : blockCost(whole, n, np, pBits))) {
        writeBlock(w, run, from, n, whole, np, pBits, last);
        return;
    }
    splitAndWrite(w, run, from, half, left, leftCost, np, pBits, last);
    splitAndWrite(w, run, from + half, n - half, right, rightCost, np, pBits, last);
}

// Writes the run's `n` symbols, whose counts are `whole`, as writeBlocks says.
template <class Run>
void writeRun(BitWriter& w, const Run& run, size_t n, const Frequencies& whole, int windowBits,
              LastBlock& last, Cut cut) {
    last = LastBlock{};
    if (n == 0)
        return;
    const int np = positionSymbols(windowBits);
    const int pBits = positionFieldBits(windowBits);
    if (cut == Cut::Halves || n <= kMaxBlockSymbols) {
        splitAndWrite(w, run, 0, n, whole, 0, np, pBits, last);
        return;
    }
    const size_t parts = (n + kMaxBlockSymbols - 1) / kMaxBlockSymbols;
    for (size_t k = 0; k < parts; ++k) {
        const size_t from = n * k / parts;
        const size_t to = n * (k + 1) / parts;
        Frequencies part;
        run.count(from, to - from, part);
        splitAndWrite(w, run, from, to - from, part, 0, np, pBits, last);
    }
}

// Writes the last block again with `extraP` and `extraT` table entries more.
template <class Run>
bool rewriteLast(BitWriter& w, const Run& run, const LastBlock& original, const Frequencies& f,
                 int windowBits, LastBlock& last, int extraP, int extraT) {
    w.rewind(original.mark);
    return writeBlock(w, run, 0, original.n, f, positionSymbols(windowBits),
                      positionFieldBits(windowBits), last, extraP, extraT);
}

template <class Run>
void avoidAlignedEnd(BitWriter& w, const Run& run, int windowBits, int bitsBefore,
                     LastBlock& last) {
    Frequencies f;
    run.count(0, last.n, f);
    const LastBlock original = last;
    static const int variants[][2] = {{1, 0}, {0, 1}, {2, 0}, {0, 2}, {1, 1}, {3, 0}, {0, 3}};
    for (const auto& v : variants)
        if (rewriteLast(w, run, original, f, windowBits, last, v[0], v[1]) &&
            (bitsBefore + w.bitCount()) % 8 != 0)
            return;
    rewriteLast(w, run, original, f, windowBits, last, 0, 0);
}

} // namespace

void writeBlocks(BitWriter& w, const uint32_t* sym, size_t n, int windowBits, LastBlock& last,
                 std::vector<uint32_t>& scratch, Cut cut) {
    Frequencies whole;
    const RunCounts counts(sym, n, whole, scratch);
    writeRun(w, ParsedRun{sym, &counts}, n, whole, windowBits, last, cut);
}

void writeByteBlocks(BitWriter& w, const uint8_t* bytes, size_t n, int windowBits,
                     LastBlock& last) {
    const ByteRun run{bytes};
    Frequencies whole{};
    // Only a run short enough for one block at once is weighed whole.
    if (n <= kMaxBlockSymbols)
        run.count(0, n, whole);
    writeRun(w, run, n, whole, windowBits, last, Cut::Even);
}

void avoidAlignedEnd(BitWriter& w, int windowBits, int bitsBefore, LastBlock& last) {
    if (last.n == 0 || (bitsBefore + w.bitCount()) % 8 != 0)
        return;
    if (last.bytes)
        avoidAlignedEnd(w, ByteRun{last.bytes}, windowBits, bitsBefore, last);
    else
        avoidAlignedEnd(w, ParsedRun{last.sym, nullptr}, windowBits, bitsBefore, last);
}

} // namespace lha

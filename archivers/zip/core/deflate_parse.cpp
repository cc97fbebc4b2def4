#include "deflate_parse.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zip::deflate {

namespace {

constexpr int kStretch = 4096;          // positions priced together before the path is chosen
constexpr int kPriceStretch = 8192;     // positions parsed between price updates
constexpr size_t kLearnWhole = 1 << 16; // a text this short is parsed twice whole
constexpr int kChainBytes = 6;          // the bytes the match finder's chains are hashed on
constexpr int kDepth = 96;              // chain positions compared per search
constexpr int kLongMatch = 64;          // a match this long is taken without looking further
constexpr int kSkip = 16;               // a match this long is searched past only near its end
constexpr int kLook = 2;                // positions after such a match's start still searched
constexpr int kFullPricing = 8;         // longer matches are priced at their full length only
constexpr int kRunPeriod = 15;          // a match at this distance or less repeats a short pattern
constexpr int kRunTail = 8;             // positions added at the end of a run

// -log2 of a symbol's share, in sixteenths of a bit, at most 15 bits.
uint32_t bitPrice(uint64_t f, uint64_t total) {
    const double bits = std::log2(static_cast<double>(total) / static_cast<double>(f));
    return static_cast<uint32_t>(std::min(bits, 15.0) * 16.0 + 0.5);
}

uint32_t extraBitsOfSymbol(int i) {
    return i < kFirstLengthSymbol ? 0 : kLengthCodes.extraBits[i - kFirstLengthSymbol];
}

// The prices laid out for the inner loop: literals by byte, matches by length
// and by distance code. A copy of its own, so that the compiler keeps it apart
// from the costs being written.
struct PriceTable {
    uint32_t literal[256];
    uint32_t length[kMaxMatch + 1];
    uint32_t distance[kDistanceSymbols];

    explicit PriceTable(const Prices& p) {
        std::copy(p.literal, p.literal + 256, literal);
        for (int len = kMinMatch; len <= kMaxMatch; ++len)
            length[len] = p.literal[kFirstLengthSymbol + kLengthCodes.code[len]];
        std::copy(p.distance, p.distance + kDistanceSymbols, distance);
    }
};

} // namespace

Prices::Prices() {
    for (int i = 0; i < kLitLenSymbols; ++i)
        literal[i] = 16 * ((i < kFirstLengthSymbol ? 8 : 7) + extraBitsOfSymbol(i));
    for (int d = 0; d < kDistanceSymbols; ++d)
        distance[d] = 16 * (5 + static_cast<uint32_t>(distanceExtraBits(d)));
    forgetCounts();
}

void Prices::forgetCounts() {
    std::memset(literalCount, 0, sizeof literalCount);
    std::memset(distanceCount, 0, sizeof distanceCount);
}

void Prices::update() {
    uint64_t total = 0;
    for (uint32_t c : literalCount)
        total += c * 4 + 1;
    for (int i = 0; i < kLitLenSymbols; ++i) {
        literal[i] = bitPrice(literalCount[i] * 4 + 1, total) + 16 * extraBitsOfSymbol(i);
        literalCount[i] -= literalCount[i] >> 3;
    }
    total = 0;
    for (uint32_t c : distanceCount)
        total += c * 4 + 1;
    for (int d = 0; d < kDistanceSymbols; ++d) {
        distance[d] = bitPrice(distanceCount[d] * 4 + 1, total) +
                      16 * static_cast<uint32_t>(distanceExtraBits(d));
        distanceCount[d] -= distanceCount[d] >> 3;
    }
}

Parser::Parser() : chains_(kWindowBits, kChainBytes) {}

void Parser::reset() {
    chains_.reset(static_cast<size_t>(size_));
    for (int32_t p = 0; p < history_ && p + kMinMatch <= size_; ++p)
        chains_.insert(text_, p);
    skipEnd_ = skipDistance_ = skipFrom_ = skipTo_ = 0;
    sincePrices_ = 0;
}

void Parser::start(const uint8_t* text, size_t history, size_t size) {
    text_ = text;
    history_ = static_cast<int32_t>(history);
    size_ = static_cast<int32_t>(size);
    prices_ = Prices();
    const size_t learn = size - history <= kLearnWhole ? size : history + kStretch;
    std::vector<uint32_t> learnt;
    reset();
    parse(history, learn, learnt);
    prices_.update();
    prices_.forgetCounts();
    reset();
}

// Every position is reached by a literal, or by one of its matches at any
// length up to kFullPricing, or at its full length or one byte less. A match of
// kSkip bytes or more is searched past: the positions after its first kLook are
// only added to the chains and given the rest of that match, up to its last
// byte, where the search resumes so that the next match may start before its
// end. A match of kLongMatch bytes
// ends the stretch: the path is chosen up to its start and the match is taken as
// it is; a run of a short pattern as long as a match can be adds only its last
// positions to the chains, so that long repeats cost little.
size_t Parser::parse(size_t fromPos, size_t toPos, std::vector<uint32_t>& symbols) {
    const uint8_t* const b = text_;
    const int32_t end = size_;
    const int32_t until = static_cast<int32_t>(toPos);
    const int32_t lastStart = end - kMinMatch; // the last position a match can start at
    const size_t positions = std::min<size_t>(kStretch, toPos - fromPos) + 1;
    if (best_.size() < positions) {
        best_.resize(positions);
        firstMatch_.resize(positions);
    }
    lz::Match found[kMaxMatch + 1];
    auto emit = [&](uint32_t sym) {
        symbols.push_back(sym);
        prices_.count(sym);
    };
    int32_t pos = static_cast<int32_t>(fromPos);
    while (pos < until) {
        const int n = static_cast<int>(std::min<int32_t>(kStretch, until - pos));
        int stop = n; // where the priced path ends
        lz::Match taken;
        matches_.clear();
        for (int i = 0; i < n; ++i) {
            firstMatch_[static_cast<size_t>(i)] = static_cast<uint32_t>(matches_.size());
            const int32_t p = pos + i;
            if (p > lastStart)
                continue;
            if (p >= skipFrom_ && p < skipTo_) {
                chains_.insert(b, p);
                // The rest of the match, so that the path may leave it early.
                if (skipEnd_ - p >= kMinMatch)
                    matches_.push_back({static_cast<int>(skipEnd_ - p), skipDistance_});
                continue;
            }
            const int count =
                chains_.find(b, p, std::min(kMaxMatch, end - p), kDepth, kMaxMatch, found);
            chains_.insert(b, p);
            if (count > 0 && found[count - 1].length >= kLongMatch) {
                stop = i;
                taken = found[count - 1];
                break;
            }
            matches_.insert(matches_.end(), found, found + count);
            if (count > 0 && found[count - 1].length >= kSkip &&
                p + found[count - 1].length > skipEnd_) {
                skipDistance_ = found[count - 1].distance;
                skipEnd_ = p + found[count - 1].length;
                skipFrom_ = p + kLook;
                skipTo_ = skipEnd_ - 1;
            }
        }
        firstMatch_[static_cast<size_t>(stop)] = static_cast<uint32_t>(matches_.size());

        const PriceTable price(prices_);
        uint64_t* best = best_.data();
        std::fill(best, best + stop + 1, UINT64_MAX);
        best[0] = 0;
        // Each entry holds a cost in its high half and the step that reaches it
        // in its low half, so that one comparison keeps the cheaper.
        auto relax = [&](int at, uint32_t c, uint32_t how) {
            best[at] = std::min(best[at], (static_cast<uint64_t>(c) << 32) | how);
        };
        for (int i = 0; i < stop; ++i) {
            const uint32_t here = static_cast<uint32_t>(best[i] >> 32);
            relax(i + 1, here + price.literal[b[pos + i]], 1);
            int from = kMinMatch;
            for (uint32_t k = firstMatch_[static_cast<size_t>(i)];
                 k < firstMatch_[static_cast<size_t>(i) + 1]; ++k) {
                const int top = std::min(matches_[k].length, stop - i);
                const uint32_t d = static_cast<uint32_t>(matches_[k].distance);
                const uint32_t base = here + price.distance[distanceCode(d - 1)];
                const uint32_t tag = d << 9;
                const int full = std::min(top, kFullPricing);
                for (int len = from; len <= full; ++len)
                    relax(i + len, base + price.length[len], tag | static_cast<uint32_t>(len));
                for (int len = std::max(full + 1, top - 1); len <= top; ++len)
                    relax(i + len, base + price.length[len], tag | static_cast<uint32_t>(len));
                from = std::max(from, matches_[k].length + 1);
            }
        }
        // Walk the cheapest path back from its end, then emit it forwards.
        path_.clear();
        for (int i = stop; i > 0;) {
            const uint32_t how = static_cast<uint32_t>(best[i]);
            const int len = static_cast<int>(how & 0x1FF);
            path_.push_back(len == 1 ? literalSymbol(b[pos + i - 1]) : matchSymbol(len, how >> 9));
            i -= len;
        }
        for (auto it = path_.rbegin(); it != path_.rend(); ++it)
            emit(*it);
        pos += stop;
        sincePrices_ += stop;
        if (taken.length) {
            emit(matchSymbol(taken.length, static_cast<uint32_t>(taken.distance)));
            const int32_t matchEnd = pos + taken.length;
            int32_t from = pos + 1;
            if (taken.length == kMaxMatch && taken.distance <= kRunPeriod)
                from = std::max(from, matchEnd - kRunTail);
            for (int32_t p = from; p < matchEnd && p <= lastStart; ++p)
                chains_.insert(b, p);
            sincePrices_ += taken.length;
            pos = matchEnd;
        }
        if (sincePrices_ >= kPriceStretch) {
            prices_.update();
            sincePrices_ = 0;
        }
    }
    return static_cast<size_t>(pos);
}

} // namespace zip::deflate

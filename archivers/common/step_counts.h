// The symbol counts of a run of symbols taken at every kStep-th symbol, so that
// the counts of any part of the run cost a difference and at most 2 kStep
// symbols counted, instead of a pass over the part: the block writers' halving
// asks for the counts of every half it weighs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace arc {

// `Counts` is a plain struct of counts of one encoder, beside which three
// functions are found: countRange(sym, n, f) (the counts of n symbols, from
// nothing), addRange(sym, n, f) (n symbols more) and difference(whole, part).
// The steps are kept in the caller's `steps`, as words of type `Word`, so that
// the storage lasts from run to run without the caller knowing `Counts`.
template <class Counts, class Word> class StepCounts {
public:
    static constexpr size_t kStep = 4096;
    static constexpr size_t kWords = sizeof(Counts) / sizeof(Word);
    static_assert(sizeof(Counts) == kWords * sizeof(Word));

    // Counts the run into `whole`, keeping the counts on the way in `steps`.
    StepCounts(const uint32_t* sym, size_t n, Counts& whole, std::vector<Word>& steps)
        : sym_(sym), steps_(steps) {
        countRange(sym, 0, whole);
        steps_.resize((n / kStep + 1) * kWords);
        for (size_t k = 0; k * kStep <= n; ++k) {
            std::memcpy(steps_.data() + k * kWords, &whole, sizeof whole);
            addRange(sym + k * kStep, std::min(kStep, n - k * kStep), whole);
        }
    }
    // The counts of the `n` symbols at `sym`, a part of the run.
    void count(const uint32_t* sym, size_t n, Counts& f) const {
        const size_t from = static_cast<size_t>(sym - sym_);
        const size_t to = from + n;
        const size_t a = (from + kStep - 1) / kStep;
        const size_t b = to / kStep;
        if (a >= b) {
            countRange(sym, n, f);
            return;
        }
        Counts high;
        Counts low;
        std::memcpy(&high, steps_.data() + b * kWords, sizeof high);
        std::memcpy(&low, steps_.data() + a * kWords, sizeof low);
        f = difference(high, low);
        addRange(sym, a * kStep - from, f);
        addRange(sym_ + b * kStep, to - b * kStep, f);
    }

private:
    const uint32_t* sym_;
    std::vector<Word>& steps_;
};

} // namespace arc

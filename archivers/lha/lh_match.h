// Match finders of the LZH encoder. Both index the positions of one text (a
// segment with the window of text before it) and look for earlier text equal to
// the text at a position, at distances below the window size.
//   HashChains   for the default parser (lz_chains.h, shared with deflate).
//   BinaryTrees  for the optimal parser: per hash, a binary tree of the earlier
//                positions ordered by the text that follows them, which yields
//                the matches of every length at once.
#pragma once

#include "lz_chains.h"

#include <cstdint>
#include <vector>

namespace lha {

using lz::HashChains;
using lz::Match;
using lz::matchLength;

class BinaryTrees {
public:
    explicit BinaryTrees(int windowBits);

    void reset();
    // Adds position `pos` of the text of `end` bytes and, when `found` is not
    // null, stores there the matches of increasing length it meets (at most
    // kMaxMatch of them, each longer than the one before) and returns their
    // count. At most `depth` tree nodes are visited.
    int insert(const uint8_t* text, int32_t pos, int32_t end, int depth, Match* found);

private:
    int32_t mask_;
    int32_t maxDistance_;
    std::vector<int32_t> head_;
    std::vector<int32_t> tree_; // two children per window position
};

} // namespace lha

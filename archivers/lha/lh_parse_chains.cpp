#include "lh_parse.h"

namespace lha {

namespace {

// How hard the parse looks, per window (lz_path.h): matches of 32 bytes are
// taken at once; chain positions compared per search and the length from which
// a match is searched past depend on the window. The chains of the wider
// windows are longer and slower to walk, and are cut shorter to keep the time
// per byte about the same. In the 8 KiB window of -lh5- matches are short, so
// that nearly every position of a text is searched unless matches from 6 bytes
// up are searched past: a tenth of the time for 0.1-0.4 % in size; the wider
// windows search past matches from 8 bytes up.
// Every length of a match has a symbol of its own in LZH, so that pricing each
// one up to 5 bytes, and beyond only the full length, finds nearly the same path
// (within 0.01 %) as pricing them all.
lz::PathSettings settingsFor(int windowBits) {
    if (windowBits <= 13)
        return {40, 32, 6, 2, 5};
    return {28, 32, 8, 2, 5};
}

} // namespace

ChainParser::ChainParser(int windowBits)
    : windowBits_(windowBits), settings_(settingsFor(windowBits)), chains_(windowBits) {}

// The segment is parsed with the prices its opening stretch (a short segment:
// all of it) teaches; the learning parse takes the text as ending there. A
// short segment's second parse takes the matches its first one found.
void ChainParser::parse(const uint8_t* b, size_t history, size_t size, lz::Symbols& symbols) {
    Prices prices(positionSymbols(windowBits_));
    const size_t learnt = lz::learnUntil(history, size);
    const bool whole = learnt == size;
    lz::learnPrices<PriceTable>(b, history, learnt, chains_, settings_, buffers_, prices,
                                whole ? lz::MatchSource::Learn : lz::MatchSource::Search);
    if (!whole)
        chains_.reset(b, history, size);
    lz::PathState state;
    lz::cheapestPath<PriceTable>(b, history, size, size, chains_, settings_, state, buffers_,
                                 prices, symbols,
                                 whole ? lz::MatchSource::Replay : lz::MatchSource::Search);
}

} // namespace lha

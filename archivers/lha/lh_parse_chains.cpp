#include "lh_parse.h"

namespace lha {

namespace {

// Chain positions compared per search. The chains of the wider windows are
// longer and slower to walk; they are cut shorter to keep the time per byte
// about the same.
int chainDepth(int windowBits) {
    return windowBits <= 13 ? 40 : 28;
}

} // namespace

// The parse of lz_path.h; matches of 8 bytes are searched past, those of 32
// taken at once. Every length of a match has a symbol of its own in LZH, so
// that pricing each one up to 5 bytes, and beyond only the full length, finds
// nearly the same path (within 0.01 %) as pricing them all.
ChainParser::ChainParser(int windowBits)
    : windowBits_(windowBits), settings_{chainDepth(windowBits), 32, 8, 2, 5}, chains_(windowBits) {
}

// One parse of a segment from its start, with fresh chains holding its history.
void ChainParser::pass(const uint8_t* b, size_t history, size_t size, Prices& prices,
                       std::vector<uint32_t>& symbols) {
    chains_.reset(b, history, size);
    lz::PathState state;
    lz::cheapestPath<PriceTable>(b, history, size, size, chains_, settings_, state, buffers_,
                                 prices, symbols);
}

// The segment is parsed with the prices its opening stretch (a short segment:
// all of it) teaches; the learning parse takes the text as ending there.
void ChainParser::parse(const uint8_t* b, size_t history, size_t size,
                        std::vector<uint32_t>& symbols) {
    Prices prices(positionSymbols(windowBits_));
    lz::learnPrices<PriceTable>(b, history, lz::learnUntil(history, size), chains_, settings_,
                                buffers_, prices, symbols);
    pass(b, history, size, prices, symbols);
}

} // namespace lha

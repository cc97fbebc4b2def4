#include "crc16.h"

#include <array>

namespace arc {

namespace {

constexpr int kSlices = 16; // bytes taken a step

constexpr std::array<std::array<uint16_t, 256>, kSlices> makeTables() {
    std::array<std::array<uint16_t, 256>, kSlices> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
        t[0][i] = static_cast<uint16_t>(c);
    }
    // Table k: the CRC of a byte followed by k zero bytes, for kSlices bytes a step.
    for (int k = 1; k < kSlices; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr auto kTables = makeTables();

} // namespace

uint16_t crc16Update(uint16_t crc, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    unsigned c = crc;
    while (size >= kSlices) {
        c ^= static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
        c = kTables[15][c & 0xFF] ^ kTables[14][c >> 8] ^ kTables[13][p[2]] ^ kTables[12][p[3]] ^
            kTables[11][p[4]] ^ kTables[10][p[5]] ^ kTables[9][p[6]] ^ kTables[8][p[7]] ^
            kTables[7][p[8]] ^ kTables[6][p[9]] ^ kTables[5][p[10]] ^ kTables[4][p[11]] ^
            kTables[3][p[12]] ^ kTables[2][p[13]] ^ kTables[1][p[14]] ^ kTables[0][p[15]];
        p += kSlices;
        size -= kSlices;
    }
    for (; size; --size)
        c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
    return static_cast<uint16_t>(c);
}

} // namespace arc

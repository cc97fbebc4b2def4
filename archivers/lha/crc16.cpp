#include "crc16.h"

#include <array>

namespace lha {

namespace {

constexpr std::array<std::array<uint16_t, 256>, 2> makeTables() {
    std::array<std::array<uint16_t, 256>, 2> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
        t[0][i] = static_cast<uint16_t>(c);
    }
    // Second table: the CRC of a byte followed by a zero byte, for two bytes a step.
    for (unsigned i = 0; i < 256; ++i)
        t[1][i] = static_cast<uint16_t>((t[0][i] >> 8) ^ t[0][t[0][i] & 0xFF]);
    return t;
}

constexpr auto kTables = makeTables();

} // namespace

uint16_t crc16Update(uint16_t crc, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    unsigned c = crc;
    while (size >= 2) {
        c ^= static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
        c = kTables[1][c & 0xFF] ^ kTables[0][c >> 8];
        p += 2;
        size -= 2;
    }
    if (size)
        c = (c >> 8) ^ kTables[0][(c ^ *p) & 0xFF];
    return static_cast<uint16_t>(c);
}

} // namespace lha

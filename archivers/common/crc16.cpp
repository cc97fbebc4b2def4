#include "crc16.h"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

uint16_t crc16Tables(uint16_t crc, const unsigned char* p, size_t size) {
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

#if defined(__x86_64__)

// Carry-less multiplication folds the bytes 16 at a time. The bytes are the
// polynomial with the first bit of the first byte highest; 16 of them loaded
// as a little-endian 128-bit value A hold degrees 127 (bit 0) down to 0 (bit
// 127): its low half L times x^64 plus its high half H. The message so far is
// congruent, modulo the CRC polynomial P, to such an A, and the next 16 bytes
// D make it A x^128 + D, congruent to L (x^192 mod P) + H (x^128 mod P) + D,
// both products below degree 80. Multiplying two halves so laid out gives
// their product times x in the same layout, so the constants are x^191 and
// x^127 modulo P, bit-reversed; folding by 64 bytes, x^575 and x^511. What
// remains at the end is 16 bytes with the message's CRC, which the tables
// work out.
constexpr uint64_t xPowerModP(int n) {
    uint32_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if (r & 0x10000)
            r ^= 0x18005;
    }
    return r;
}

constexpr uint64_t reversed64(uint64_t v) {
    uint64_t r = 0;
    for (int i = 0; i < 64; ++i)
        r |= ((v >> i) & 1) << (63 - i);
    return r;
}

constexpr uint64_t kFold16Low = reversed64(xPowerModP(128 + 64 - 1));
constexpr uint64_t kFold16High = reversed64(xPowerModP(128 - 1));
constexpr uint64_t kFold64Low = reversed64(xPowerModP(512 + 64 - 1));
constexpr uint64_t kFold64High = reversed64(xPowerModP(512 - 1));
// Below this many bytes the tables are as quick.
constexpr size_t kFoldFrom = 64;

__attribute__((target("pclmul,sse2"))) inline __m128i fold(__m128i a, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), next);
}

__attribute__((target("pclmul,sse2"))) uint16_t crc16Folded(uint16_t crc, const unsigned char* p,
                                                            size_t size) {
    auto load = [](const unsigned char* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    const __m128i k16 =
        _mm_set_epi64x(static_cast<long long>(kFold16High), static_cast<long long>(kFold16Low));
    __m128i a = _mm_xor_si128(load(p), _mm_cvtsi32_si128(crc));
    if (size >= 128) {
        // Four runs of 16 bytes, each folded by 64 bytes (four products in
        // flight), then folded into one.
        const __m128i k64 =
            _mm_set_epi64x(static_cast<long long>(kFold64High), static_cast<long long>(kFold64Low));
        __m128i b = load(p + 16);
        __m128i c = load(p + 32);
        __m128i d = load(p + 48);
        p += 64;
        size -= 64;
        for (; size >= 64; p += 64, size -= 64) {
            a = fold(a, k64, load(p));
            b = fold(b, k64, load(p + 16));
            c = fold(c, k64, load(p + 32));
            d = fold(d, k64, load(p + 48));
        }
        a = fold(fold(fold(a, k16, b), k16, c), k16, d);
    } else {
        p += 16;
        size -= 16;
    }
    for (; size >= 16; p += 16, size -= 16)
        a = fold(a, k16, load(p));
    unsigned char rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), a);
    return crc16Tables(crc16Tables(0, rest, 16), p, size);
}

// Asked once, as the library is loaded (when the processor's description
// may not be read yet: it is read first).
bool hasClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul");
}
const bool kHasClmul = hasClmul();

#endif

} // namespace

uint16_t crc16Update(uint16_t crc, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
#if defined(__x86_64__)
    if (size >= kFoldFrom && kHasClmul)
        return crc16Folded(crc, p, size);
#endif
    return crc16Tables(crc, p, size);
}

} // namespace arc

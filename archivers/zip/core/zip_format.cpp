#include "zip_format.h"

#include <libdeflate.h>

namespace zip {

uint32_t toDosTime(time_t t) {
    struct tm tm;
    if (::localtime_r(&t, &tm) == nullptr || tm.tm_year < 80)
        return (0u << 25) | (1u << 21) | (1u << 16);
    if (tm.tm_year > 207)
        tm.tm_year = 207;
    return static_cast<uint32_t>(tm.tm_year - 80) << 25 |
           static_cast<uint32_t>(tm.tm_mon + 1) << 21 | static_cast<uint32_t>(tm.tm_mday) << 16 |
           static_cast<uint32_t>(tm.tm_hour) << 11 | static_cast<uint32_t>(tm.tm_min) << 5 |
           static_cast<uint32_t>(tm.tm_sec / 2);
}

time_t fromDosTime(uint32_t dos) {
    struct tm tm = {};
    tm.tm_year = static_cast<int>((dos >> 25) & 0x7f) + 80;
    tm.tm_mon = static_cast<int>((dos >> 21) & 0x0f) - 1;
    tm.tm_mday = static_cast<int>((dos >> 16) & 0x1f);
    tm.tm_hour = static_cast<int>((dos >> 11) & 0x1f);
    tm.tm_min = static_cast<int>((dos >> 5) & 0x3f);
    tm.tm_sec = static_cast<int>(dos & 0x1f) * 2;
    tm.tm_isdst = -1;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 59)
        return -1;
    return ::mktime(&tm);
}

uint32_t crc32(uint32_t crc, const void* data, size_t size) {
    return libdeflate_crc32(crc, data, size);
}

bool isUtf8(const std::string& s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t len;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            len = 2;
            cp = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            len = 3;
            cp = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k) {
            auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xc0) != 0x80)
                return false;
            cp = cp << 6 | (d & 0x3f);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += len;
    }
    return true;
}

std::string cp437ToUtf8(const std::string& s) {
    // The characters of bytes 0x80 to 0xFF; bytes below are ASCII.
    static const uint16_t kHigh[128] = {
        0x00c7, 0x00fc, 0x00e9, 0x00e2, 0x00e4, 0x00e0, 0x00e5, 0x00e7, 0x00ea, 0x00eb, 0x00e8,
        0x00ef, 0x00ee, 0x00ec, 0x00c4, 0x00c5, 0x00c9, 0x00e6, 0x00c6, 0x00f4, 0x00f6, 0x00f2,
        0x00fb, 0x00f9, 0x00ff, 0x00d6, 0x00dc, 0x00a2, 0x00a3, 0x00a5, 0x20a7, 0x0192, 0x00e1,
        0x00ed, 0x00f3, 0x00fa, 0x00f1, 0x00d1, 0x00aa, 0x00ba, 0x00bf, 0x2310, 0x00ac, 0x00bd,
        0x00bc, 0x00a1, 0x00ab, 0x00bb, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
        0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255d, 0x255c, 0x255b, 0x2510, 0x2514, 0x2534,
        0x252c, 0x251c, 0x2500, 0x253c, 0x255e, 0x255f, 0x255a, 0x2554, 0x2569, 0x2566, 0x2560,
        0x2550, 0x256c, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256b,
        0x256a, 0x2518, 0x250c, 0x2588, 0x2584, 0x258c, 0x2590, 0x2580, 0x03b1, 0x00df, 0x0393,
        0x03c0, 0x03a3, 0x03c3, 0x00b5, 0x03c4, 0x03a6, 0x0398, 0x03a9, 0x03b4, 0x221e, 0x03c6,
        0x03b5, 0x2229, 0x2261, 0x00b1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00f7, 0x2248, 0x00b0,
        0x2219, 0x00b7, 0x221a, 0x207f, 0x00b2, 0x25a0, 0x00a0,
    };
    std::string out;
    for (unsigned char c : s) {
        const uint32_t cp = c < 0x80 ? c : kHigh[c - 0x80];
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xc0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else {
            out.push_back(static_cast<char>(0xe0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        }
    }
    return out;
}

bool hasNonAscii(const std::string& s) {
    for (unsigned char c : s) {
        if (c >= 0x80)
            return true;
    }
    return false;
}

} // namespace zip

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

bool hasNonAscii(const std::string& s) {
    for (unsigned char c : s) {
        if (c >= 0x80)
            return true;
    }
    return false;
}

} // namespace zip

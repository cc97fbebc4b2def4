#include "cp932.h"

#include <iconv.h>

namespace arc {

namespace {

// Converts with iconv; false when any character has no form in the target.
bool convert(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    ::iconv_close(cd);
    if (r == static_cast<size_t>(-1) || r != 0 || srcLeft != 0)
        return false;
    out.resize(out.size() - dstLeft);
    return true;
}

} // namespace

bool utf8ToCp932(const std::string& utf8, std::string& cp932) {
    std::string back;
    return convert("CP932", "UTF-8", utf8, cp932) && convert("UTF-8", "CP932", cp932, back) &&
           back == utf8;
}

bool cp932ToUtf8(const std::string& cp932, std::string& utf8) {
    return convert("UTF-8", "CP932", cp932, utf8);
}

bool codePageToUtf8(unsigned codePage, const std::string& text, std::string& utf8) {
    if (codePage == 65001) {
        utf8 = text;
        return isValidUtf8(text);
    }
    return convert("UTF-8", ("CP" + std::to_string(codePage)).c_str(), text, utf8);
}

bool utf16leToUtf8(const std::string& utf16, std::string& utf8) {
    return convert("UTF-8", "UTF-16LE", utf16, utf8);
}

bool utf8ToUtf16le(const std::string& utf8, std::string& utf16) {
    return isValidUtf8(utf8) && convert("UTF-16LE", "UTF-8", utf8, utf16);
}

bool isValidUtf8(const std::string& s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int follow;
        unsigned min;
        unsigned cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            follow = 1;
            min = 0x80;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            follow = 2;
            min = 0x800;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            follow = 3;
            min = 0x10000;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(follow) >= n)
            return false;
        for (int k = 1; k <= follow; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += static_cast<size_t>(follow) + 1;
    }
    return true;
}

} // namespace arc

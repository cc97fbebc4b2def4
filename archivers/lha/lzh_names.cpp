#include "lzh_names.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace lha {

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

bool validUtf8(const std::string& s) {
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

// Decodes stored bytes for an OS id (the rules in the header).
std::string decodeBytes(uint8_t osId, const std::string& stored) {
    std::string utf8;
    if (osId == kOsUnix) {
        if (validUtf8(stored))
            return stored;
        if (convert("UTF-8", "EUC-JP", stored, utf8) || convert("UTF-8", "CP932", stored, utf8))
            return utf8;
        return stored;
    }
    if (convert("UTF-8", "CP932", stored, utf8))
        return utf8;
    if (validUtf8(stored))
        return stored;
    std::string cleaned;
    for (char c : stored)
        cleaned += (static_cast<unsigned char>(c) < 0x80) ? c : '_';
    return cleaned;
}

} // namespace

StoredName encodeMemberName(const std::string& fileName) {
    std::string sjis;
    std::string back;
    if (fileName.find('\\') == std::string::npos && convert("CP932", "UTF-8", fileName, sjis) &&
        convert("UTF-8", "CP932", sjis, back) && back == fileName)
        return {kOsMsDos, sjis};
    return {kOsUnix, fileName};
}

std::string decodeMemberPath(uint8_t osId, const std::string& stored) {
    // 0xFF is no character in any of the encodings: it can be cut before decoding.
    // "\" can be the second byte of a Shift_JIS character: it is cut after.
    std::string raw = stored;
    std::replace(raw.begin(), raw.end(), '\xff', '/');
    std::string text = decodeBytes(osId, raw);
    if (osId != kOsUnix)
        std::replace(text.begin(), text.end(), '\\', '/');
    std::string path;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = std::min(text.find('/', at), text.size());
        const std::string part = text.substr(at, end - at);
        if (!part.empty() && part != ".")
            path += (path.empty() ? "" : "/") + part;
        at = end + 1;
    }
    return path;
}

std::string extractedNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return "";
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f)
            return "";
    }
    return name;
}

} // namespace lha

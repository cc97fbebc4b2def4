#include "lzh_names.h"

#include "cp932.h"

#include <algorithm>
#include <iconv.h>

namespace lha {

namespace {

// The UTF-8 form of EUC-JP bytes, as Unix LHA archivers of Japanese systems
// wrote names; false when the bytes are not EUC-JP.
bool eucJpToUtf8(const std::string& euc, std::string& utf8) {
    iconv_t cd = ::iconv_open("UTF-8", "EUC-JP");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    utf8.assign(euc.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(euc.data());
    size_t srcLeft = euc.size();
    char* dst = utf8.data();
    size_t dstLeft = utf8.size();
    const size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    ::iconv_close(cd);
    if (r != 0 || srcLeft != 0)
        return false;
    utf8.resize(utf8.size() - dstLeft);
    return true;
}

// Decodes stored bytes for an OS id (the rules in the header).
std::string decodeBytes(uint8_t osId, const std::string& stored) {
    std::string utf8;
    if (osId == kOsUnix) {
        if (arc::isValidUtf8(stored))
            return stored;
        if (eucJpToUtf8(stored, utf8) || arc::cp932ToUtf8(stored, utf8))
            return utf8;
        return stored;
    }
    if (arc::cp932ToUtf8(stored, utf8))
        return utf8;
    if (arc::isValidUtf8(stored))
        return stored;
    std::string cleaned;
    for (char c : stored)
        cleaned += (static_cast<unsigned char>(c) < 0x80) ? c : '_';
    return cleaned;
}

} // namespace

StoredName encodeMemberName(const std::string& fileName) {
    const bool ascii = std::all_of(fileName.begin(), fileName.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string sjis;
    if (!ascii && fileName.find('\\') == std::string::npos && arc::utf8ToCp932(fileName, sjis))
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
        const size_t end = std::min(text.find('/', at), text.size());
        const std::string part = text.substr(at, end - at);
        if (!part.empty() && part != ".")
            path += (path.empty() ? "" : "/") + part;
        at = end + 1;
    }
    return path;
}

} // namespace lha

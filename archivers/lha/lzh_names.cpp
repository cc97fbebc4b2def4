#include "lzh_names.h"

#include "cp932.h"

#include <algorithm>

namespace lha {

namespace {

bool isAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The bytes with "_" for every byte beyond ASCII.
std::string asciiOnly(const std::string& bytes) {
    std::string cleaned;
    for (char c : bytes)
        cleaned += static_cast<unsigned char>(c) < 0x80 ? c : '_';
    return cleaned;
}

// Shift_JIS bytes of a UTF-8 name, with "_" for each character that has none.
std::string shiftJisOrUnderscore(const std::string& utf8) {
    std::string out;
    size_t at = 0;
    while (at < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[at]);
        const size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::string sjis;
        out += arc::utf8ToCp932(utf8.substr(at, len), sjis) ? sjis : "_";
        at += len;
    }
    return out;
}

// Decodes name-field bytes by the header's code page, else its OS id.
std::string decodeBytes(const StoredName& s, const std::string& bytes) {
    std::string utf8;
    if (s.codePage != 0)
        return arc::codePageToUtf8(s.codePage, bytes, utf8) ? utf8 : asciiOnly(bytes);
    // 'U': UTF-8 in this module's own headers, else Shift_JIS as LHa for UNIX
    // writes; bytes that do not decode (UTF-8 of LHa for UNIX too) stay as they are.
    if (s.osId == kOsUnix)
        return !s.ownLayout && arc::cp932ToUtf8(bytes, utf8) ? utf8 : bytes;
    return arc::cp932ToUtf8(bytes, utf8) ? utf8 : asciiOnly(bytes);
}

// Appends the components of decoded text to a path.
void appendComponents(std::string& path, const std::string& text, bool backslashSeparates) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find_first_of(backslashSeparates ? "/\\" : "/", at);
        end = std::min(end, text.size());
        const std::string part = text.substr(at, end - at);
        if (!part.empty() && part != ".")
            path += (path.empty() ? "" : "/") + part;
        at = end + 1;
    }
}

// The UTF-8 form of UTF-16LE text, with "/" for each separator unit 0xFFFF.
std::string decodeUtf16(const std::string& utf16) {
    std::string text;
    size_t at = 0;
    while (at < utf16.size()) {
        size_t end = at;
        while (end + 1 < utf16.size() && !(utf16[end] == '\xff' && utf16[end + 1] == '\xff'))
            end += 2;
        std::string part;
        text += arc::utf16leToUtf8(utf16.substr(at, end - at), part) ? part : std::string(1, '_');
        if (end + 1 < utf16.size())
            text += '/';
        at = end + 2;
    }
    return text;
}

} // namespace

StoredName encodeMemberName(const std::string& fileName) {
    StoredName s;
    s.bytes = fileName;
    // A name that is not UTF-8 goes as its bytes; one of ASCII alone reads
    // the same in every code page and needs none marked.
    if (!arc::isValidUtf8(fileName) || isAscii(fileName))
        return s;
    s.codePage = kCodePageShiftJis;
    if (!arc::utf8ToCp932(fileName, s.bytes)) {
        s.bytes = shiftJisOrUnderscore(fileName);
        s.utf16Name.emplace();
        arc::utf8ToUtf16le(fileName, *s.utf16Name);
    }
    if (!isAscii(s.bytes) && fileName.find('\\') == std::string::npos)
        s.osId = kOsMsDos;
    return s;
}

std::string decodeMemberPath(const StoredName& s) {
    const bool backslashSeparates = s.level == 0 || s.osId != kOsUnix;
    // 0xFF is no character of any of the encodings: it can be cut before
    // decoding. "\" can be the second byte of a Shift_JIS character: it is cut after.
    auto decode = [&](const std::optional<std::string>& utf16, std::string bytes) {
        if (utf16)
            return decodeUtf16(*utf16);
        std::replace(bytes.begin(), bytes.end(), '\xff', '/');
        return decodeBytes(s, bytes);
    };
    std::string path;
    appendComponents(path, decode(s.utf16Folder, s.folder), backslashSeparates);
    appendComponents(path, decode(s.utf16Name, s.bytes), backslashSeparates);
    return path;
}

} // namespace lha

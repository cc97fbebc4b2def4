// Shift_JIS (code page 932) names, as Japanese Windows archivers write them,
// and the UTF-8 this system uses for every name.
#pragma once

#include <string>

namespace arc {

// The CP932 bytes of a UTF-8 name; false when some character has no CP932
// form that reads back as the same character.
bool utf8ToCp932(const std::string& utf8, std::string& cp932);
// The UTF-8 form of CP932 bytes; false when the bytes are not valid CP932
// (a lead byte without its trail byte, an unassigned code). A trail byte 0x5C
// belongs to its character and never reads as a backslash.
bool cp932ToUtf8(const std::string& cp932, std::string& utf8);
// The UTF-8 form of text in a Windows code page (932, 65001, 1252, ...) or
// "UTF-16LE"; false when iconv does not know the code page or the bytes are
// not valid in it.
bool codePageToUtf8(unsigned codePage, const std::string& text, std::string& utf8);
bool utf16leToUtf8(const std::string& utf16, std::string& utf8);
// The UTF-16LE form of a UTF-8 name; false when it is not valid UTF-8.
bool utf8ToUtf16le(const std::string& utf8, std::string& utf16);
// True when the bytes are well-formed UTF-8 (ASCII included): no overlong
// forms, surrogates or values past U+10FFFF.
bool isValidUtf8(const std::string& s);

} // namespace arc

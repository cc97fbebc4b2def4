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
// True when the bytes are well-formed UTF-8 (ASCII included): no overlong
// forms, surrogates or values past U+10FFFF.
bool isValidUtf8(const std::string& s);

} // namespace arc

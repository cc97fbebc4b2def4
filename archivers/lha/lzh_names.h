// Member names as bytes in an archive.
//
// Names are written in Shift_JIS (code page 932) when every character of the
// name has a Shift_JIS form that reads back as the same character, which is
// what Japanese LHA tools expect; any other name is written as UTF-8. A name
// read from an archive is taken as UTF-8 when its bytes are valid UTF-8, else
// as Shift_JIS; bytes that are neither become "_".
#pragma once

#include <string>

namespace lha {

// The bytes to store for a UTF-8 file name.
std::string encodeMemberName(const std::string& utf8);
// The UTF-8 name for stored name bytes.
std::string decodeMemberName(const std::string& stored);

} // namespace lha

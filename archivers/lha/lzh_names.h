// Member names as bytes in an archive, and the OS id that says how to read them.
//
// Writing: a name with characters beyond ASCII goes in Shift_JIS (code page
// 932) under OS id 'M' (MS-DOS) when every character has a Shift_JIS form that
// reads back as the same character and the name holds no "\" (a folder
// separator for MS-DOS ids), which is what Japanese LHA tools on DOS and
// Windows expect; any other name, ASCII ones included, is stored as its own
// bytes (UTF-8 on this system) under OS id 'U' (Unix), so that readers that
// lower-case the all-capital names of MS-DOS ids (lhasa) keep its case.
//
// Reading: the OS id alone decides. 'U': UTF-8 when the bytes are valid UTF-8,
// else EUC-JP, else Shift_JIS (as other Unix LHA archivers write), else the
// bytes as they are. Every other id: Shift_JIS, else UTF-8 when the bytes are
// valid UTF-8, else the bytes with every non-ASCII byte as "_". So a name this
// module writes reads back as the same name, except a Unix name whose bytes are
// not UTF-8 and happen to be valid EUC-JP or Shift_JIS: the archive writer
// skips such files.
//
// Folders: "/" and the byte 0xFF separate folders under every id; "\" does too
// under every id but 'U', where it is an ordinary character of a name (the
// header reader turns the "\" of level-0 'U' names, that format's separator,
// into 0xFF).
#pragma once

#include <cstdint>
#include <string>

namespace lha {

constexpr uint8_t kOsMsDos = 'M';
constexpr uint8_t kOsUnix = 'U';

struct StoredName {
    uint8_t osId = kOsUnix;
    std::string bytes;
};

// How a file name (the bytes of a Linux name, normally UTF-8) is stored.
StoredName encodeMemberName(const std::string& fileName);

// The member's path for stored path bytes (folders included, separated by "/",
// 0xFF or, outside 'U', "\"): the decoded components joined by "/", with empty
// and "." components dropped.
std::string decodeMemberPath(uint8_t osId, const std::string& stored);

} // namespace lha

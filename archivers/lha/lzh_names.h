// Member names as an archive holds them, and the rules that turn them into
// the UTF-8 names of this system and back (unlha32.h says the same for users).
//
// Writing a name that is valid UTF-8 and not ASCII alone: the name field holds
// its Shift_JIS (code page 932) bytes, and the code-page extension 0x46 says
// 932 (an ASCII name reads the same in every code page and goes without). A name
// with a character Shift_JIS lacks gets "_" for that character in the name
// field and its exact form, UTF-16LE, in extension 0x44 after it. The OS id is
// 'M' (MS-DOS, what Japanese LHA tools on Windows expect) when the name field
// holds a byte beyond ASCII and the name no "\" (a folder separator under
// MS-DOS ids); otherwise 'U' (Unix), so that readers that lower-case the
// all-capital names of MS-DOS ids (lhasa) keep their case. A name that is not
// UTF-8 goes as its own bytes under 'U' with neither extension.
//
// Reading: a name is taken from the UTF-16LE extensions (0x44 for the name,
// 0x45 for the folders) when the header has them, else decoded with the code
// page of extension 0x46, else by the OS id. 'U' names of a level-2 header
// carrying only the extensions this module writes (0x00, 0x01, 0x42, 0x44,
// 0x46, 0x50, 0x54: so of this module's earlier releases, which wrote UTF-8
// names under 'U') are UTF-8, else their bytes as they are. Other 'U' names
// (LHa for UNIX, whose headers are of level 0 or 1 or carry its owner
// extension 0x51) are Shift_JIS, as LHa for UNIX writes by default; else UTF-8
// (its UTF-8 kanji code: names whose bytes are not Shift_JIS); else the bytes
// as they are. Every other id is Shift_JIS. Bytes the chosen encoding cannot
// decode read with "_" for every byte beyond ASCII.
//
// Folders: "/", the byte 0xFF and, in 0x45, the unit 0xFFFF separate folders;
// "\" does too, after decoding, in level-0 headers and under every id but 'U'.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lha {

constexpr uint8_t kOsMsDos = 'M';
constexpr uint8_t kOsUnix = 'U';
constexpr uint32_t kCodePageShiftJis = 932;

struct StoredName {
    uint8_t osId = kOsUnix;                   // 0 when a level-0 header has none
    std::string bytes{};                      // the name field
    std::string folder{};                     // extension 0x02: folders, each ended by 0xFF
    uint32_t codePage = 0;                    // extension 0x46; 0 when there is none
    std::optional<std::string> utf16Name{};   // extension 0x44
    std::optional<std::string> utf16Folder{}; // extension 0x45
    int level = 2;
    bool ownLayout = true; // level 2 with only the extensions this module writes
};

// How a file name (the bytes of a Linux name, normally UTF-8) is stored.
StoredName encodeMemberName(const std::string& fileName);

// The member's path: the decoded folders and name joined by "/", with empty
// and "." components dropped.
std::string decodeMemberPath(const StoredName& stored);

} // namespace lha

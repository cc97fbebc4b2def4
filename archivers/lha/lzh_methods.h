// The LZH methods this module knows: one entry per method id, with the window
// its LZSS coding uses. Every place that names a method, builds a header's
// method field or reads one takes it from here.
#pragma once

#include <string_view>

namespace lha {

struct Method {
    std::string_view id; // the five characters of the header's method field
    int windowBits;      // 0: no coded data (stored bytes, or a folder)
};

inline constexpr Method kStored{"-lh0-", 0};
inline constexpr Method kLh5{"-lh5-", 13};
inline constexpr Method kLh6{"-lh6-", 15};
inline constexpr Method kLh7{"-lh7-", 16};
inline constexpr Method kFolder{"-lhd-", 0};

// The method of a method field; null for one this module does not know.
const Method* methodOfId(std::string_view id);

// The coding method a switch chooses ("-o5", "-o6", "-o7"); null for any
// other text.
const Method* methodOfSwitch(std::string_view option);

// True when five header bytes have the shape of a method field ("-xxx-"),
// known to this module or not.
bool looksLikeMethodId(const char* field);

} // namespace lha

#include "lzh_names.h"

#include "cp932.h"

namespace lha {

std::string encodeMemberName(const std::string& utf8) {
    std::string sjis;
    if (arc::utf8ToCp932(utf8, sjis))
        return sjis;
    return utf8;
}

std::string decodeMemberName(const std::string& stored) {
    if (arc::isValidUtf8(stored))
        return stored;
    std::string utf8;
    if (arc::cp932ToUtf8(stored, utf8))
        return utf8;
    std::string cleaned;
    for (char c : stored)
        cleaned += (static_cast<unsigned char>(c) < 0x80) ? c : '_';
    return cleaned;
}

} // namespace lha

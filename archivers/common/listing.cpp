#include "module.h"

#include <cstdio>

namespace arc {

std::string listingLine(uint32_t crc, int crcDigits, uint64_t size, uint64_t packed,
                        const std::string& method, long long mtime, const std::string& name) {
    char head[96];
    std::snprintf(head, sizeof head, "%0*x\t%llu\t%llu\t", crcDigits, static_cast<unsigned>(crc),
                  static_cast<unsigned long long>(size), static_cast<unsigned long long>(packed));
    std::string line = head;
    line += method;
    line += '\t';
    line += std::to_string(mtime);
    line += '\t';
    // Bytes that would break the line or its fields, and the escape itself,
    // stand as "\ooo", so that any name reads back whole.
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || b == '\\') {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\%03o", b);
            line += escaped;
        } else {
            line += c;
        }
    }
    line += '\n';
    return line;
}

} // namespace arc

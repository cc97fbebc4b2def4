// ZIP record layouts and the small helpers every part of the ZIP core shares:
// little-endian fields, DOS date and time, CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace zip {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;

constexpr size_t kLocalSize = 30;
constexpr size_t kCentralSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kZip64LocatorSize = 20;

constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraNtfs = 0x000a;
constexpr uint16_t kExtraTimestamp = 0x5455;
constexpr uint16_t kExtraUnicodePath = 0x7075;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8 = 0x0800;

constexpr uint16_t kMethodStore = 0;
constexpr uint16_t kMethodDeflate = 8;

// Hosts of the "version made by" field (its high byte).
constexpr int kHostUnix = 3;
constexpr int kHostMacOs = 19;

constexpr uint32_t kMarker32 = 0xFFFFFFFF;
constexpr uint16_t kMarker16 = 0xFFFF;

inline uint16_t get16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t get64(const unsigned char* p) {
    return static_cast<uint64_t>(get32(p)) | static_cast<uint64_t>(get32(p + 4)) << 32;
}

// Appends little-endian fields to a record under construction.
inline void put16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xff));
    s.push_back(static_cast<char>(v >> 8));
}
inline void put32(std::string& s, uint32_t v) {
    put16(s, static_cast<uint16_t>(v & 0xffff));
    put16(s, static_cast<uint16_t>(v >> 16));
}
inline void put64(std::string& s, uint64_t v) {
    put32(s, static_cast<uint32_t>(v));
    put32(s, static_cast<uint32_t>(v >> 32));
}

// DOS date (high 16 bits) and time (low 16 bits) of a moment, in local time;
// moments before 1980 give 1980-01-01 00:00, the earliest DOS can hold.
uint32_t toDosTime(time_t t);
// The moment of a DOS date and time taken as local time, or -1 when invalid.
time_t fromDosTime(uint32_t dos);

uint32_t crc32(uint32_t crc, const void* data, size_t size);

// True when the bytes are well-formed UTF-8 (ASCII included).
bool isUtf8(const std::string& s);
// The UTF-8 form of a name in code page 437, the DOS character set that ZIP
// names without the UTF-8 flag were first written in.
std::string cp437ToUtf8(const std::string& s);
// True when some byte is outside ASCII.
bool hasNonAscii(const std::string& s);

} // namespace zip

// CRC-16 as LZH archives use it (polynomial 0x8005, reflected, initial value 0).
#pragma once

#include <cstddef>
#include <cstdint>

namespace arc {

uint16_t crc16Update(uint16_t crc, const void* data, size_t size);

} // namespace arc

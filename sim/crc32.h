#pragma once
// CRC-32 as the box computes it: reflected polynomial 0xEDB88320, the caller
// starts at 0xFFFFFFFF and uses the register as it stands (no final inversion).

#include <cstddef>
#include <cstdint>

namespace sim {

constexpr uint32_t kCrcStart = 0xFFFFFFFFu;

uint32_t crc32Update(uint32_t crc, const uint8_t *data, size_t n);

} // namespace sim

#pragma once
// CRC-32 (reflected, polynomial 0xEDB88320), table-driven. Callers start at
// 0xFFFFFFFF and use the final value without inversion: the complement of the
// standard CRC-32. `count` is 16-bit, so long buffers go in chunks (crc32Of).

#include <cstddef>
#include <cstdint>

uint32_t Crc32Update(uint32_t crc, const uint8_t *data, uint16_t count);
// Whole buffer in 32768-byte chunks, start 0xFFFFFFFF, no final inversion.
uint32_t crc32Of(const uint8_t *data, size_t length);

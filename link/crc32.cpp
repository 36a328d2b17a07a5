#include "link/crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace {
constexpr uint32_t kPolynomial = 0xEDB88320u;   // reflected CRC-32 (IEEE 802.3)
constexpr size_t kChunk = 0x8000;                // callers feed long buffers in 32 KB chunks
constexpr int kSlices = 8;                       // eight bytes per step, one look-up each

// table[0] is the classic byte table; table[k][n] advances table[k-1][n] by one
// more zero byte, so eight bytes are folded in one step.
constexpr std::array<std::array<uint32_t, 256>, kSlices> makeTables()
{
    std::array<std::array<uint32_t, 256>, kSlices> t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][n] = c;
    }
    for (int k = 1; k < kSlices; ++k)
        for (uint32_t n = 0; n < 256; ++n)
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}
constexpr auto kTables = makeTables();
static_assert(kTables[0][1] == 0x77073096u && kTables[0][255] == 0x2D02EF8Du);
}

uint32_t Crc32Update(uint32_t crc, const uint8_t *data, uint16_t count)
{
    size_t n = count;
    const auto &t = kTables;
    while (n >= 8) {
        uint32_t lo;
        uint32_t hi;
        std::memcpy(&lo, data, 4);
        std::memcpy(&hi, data + 4, 4);
        if constexpr (std::endian::native == std::endian::big) {
            lo = __builtin_bswap32(lo);
            hi = __builtin_bswap32(hi);
        }
        lo ^= crc;
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24]
            ^ t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        data += 8;
        n -= 8;
    }
    while (n--)
        crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
    return crc;
}

uint32_t crc32Of(const uint8_t *data, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t done = 0; done < length; done += kChunk) {
        const size_t n = length - done < kChunk ? length - done : kChunk;
        crc = Crc32Update(crc, data + done, uint16_t(n));
    }
    return crc;
}

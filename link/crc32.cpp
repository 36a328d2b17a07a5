#include "link/crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace {
constexpr uint32_t kPolynomial = 0xEDB88320u;   // reflected CRC-32 (IEEE 802.3)
constexpr size_t kChunk = 0x8000;                // callers feed long buffers in 32 KB chunks
constexpr int kSlices = 16;                      // sixteen bytes per step, one look-up each

// table[0] is the classic byte table; table[k][n] advances table[k-1][n] by one
// more zero byte, so sixteen bytes are folded in one step.
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
    while (n >= kSlices) {
        uint32_t w[4];
        std::memcpy(w, data, sizeof w);
        if constexpr (std::endian::native == std::endian::big)
            for (auto &x : w)
                x = __builtin_bswap32(x);
        w[0] ^= crc;
        crc = 0;
        for (int k = 0; k < 4; ++k)   // word k's bytes sit 16 - 4k - 1 .. 16 - 4k - 4 bytes before the end
            crc ^= t[15 - 4 * k][w[k] & 0xFF] ^ t[14 - 4 * k][(w[k] >> 8) & 0xFF]
                 ^ t[13 - 4 * k][(w[k] >> 16) & 0xFF] ^ t[12 - 4 * k][w[k] >> 24];
        data += kSlices;
        n -= kSlices;
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

#include "crc32.h"

#include <array>

namespace sim {

// Four tables (slicing by 4): calccrc32 over a 32 MiB area must not hold the line up.
static const std::array<std::array<uint32_t, 256>, 4> &tables()
{
    static const auto t = [] {
        std::array<std::array<uint32_t, 256>, 4> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n)
            for (int s = 1; s < 4; ++s)
                t[s][n] = (t[s - 1][n] >> 8) ^ t[0][t[s - 1][n] & 0xFF];
        return t;
    }();
    return t;
}

uint32_t crc32Update(uint32_t crc, const uint8_t *p, size_t n)
{
    const auto &t = tables();
    while (n >= 4) {
        crc ^= uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        crc = t[3][crc & 0xFF] ^ t[2][(crc >> 8) & 0xFF] ^ t[1][(crc >> 16) & 0xFF] ^ t[0][crc >> 24];
        p += 4;
        n -= 4;
    }
    while (n--)
        crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF];
    return crc;
}

} // namespace sim

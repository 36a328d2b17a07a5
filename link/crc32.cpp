#include "link/crc32.h"

#include <array>
#include <bit>
#include <cstring>
#include <utility>

// Method: one table look-up per byte, but in several independent streams so
// the CPU can overlap their look-ups ("braiding"). The buffer is read as
// 8-byte words dealt round-robin to kLanes lanes: lane i takes words i,
// i + kLanes, i + 2 kLanes, ... Each lane keeps its own 32-bit remainder,
// already advanced over the other lanes' words, so it can be XORed straight
// into that lane's next word. After the last full round the lanes' remainders
// are folded into the final round's words, which are then run through one
// ordinary slicing-by-8 CRC. Byte order is that of the data stream, so
// big-endian hosts byte-swap the 32-bit half they load as a number.

namespace {
constexpr uint32_t kPolynomial = 0xEDB88320u;   // reflected CRC-32 (IEEE 802.3)
constexpr size_t kChunk = 0x8000;                // callers feed long buffers in 32 KB chunks
constexpr size_t kWord = 8;                      // bytes per word, one look-up each
constexpr size_t kLanes = 5;                     // independent streams; 4-8 all run alike, 5 was fastest
constexpr size_t kRound = kWord * kLanes;        // bytes consumed by one step of all lanes

using Table = std::array<uint32_t, 256>;
using Tables = std::array<Table, kWord>;

constexpr uint32_t nextZeroByte(uint32_t c, const Table &byteTable) { return (c >> 8) ^ byteTable[c & 0xFF]; }

constexpr Table makeByteTable()
{
    Table t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[n] = c;
    }
    return t;
}
constexpr Table kByteTable = makeByteTable();
static_assert(kByteTable[1] == 0x77073096u && kByteTable[255] == 0x2D02EF8Du);

// tables[k][n]: remainder of byte n at position k of a word, advanced over the
// rest of the word and then over `laterWords` more words of zeros.
constexpr Tables makeWordTables(size_t laterWords)
{
    Tables t{};
    for (size_t k = 0; k < kWord; ++k)
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = kByteTable[n];
            for (size_t z = 0; z < kWord - 1 - k + laterWords * kWord; ++z)
                c = nextZeroByte(c, kByteTable);
            t[k][n] = c;
        }
    return t;
}
constexpr Tables kSliceTables = makeWordTables(0);            // plain slicing-by-8
constexpr Tables kBraidTables = makeWordTables(kLanes - 1);   // hop over the other lanes

uint32_t loadLittleEndian(const uint8_t *p)
{
    uint32_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big)
        w = __builtin_bswap32(w);
    return w;
}

// The 8 look-ups that fold the word at p into remainder crc. Only the first
// four bytes meet the remainder; the last four index their tables straight
// from memory, which spares the shift-and-mask work that limits the rate.
inline uint32_t foldWord(uint32_t crc, const uint8_t *p, const Tables &t)
{
    const uint32_t low = crc ^ loadLittleEndian(p);
    return t[0][low & 0xFF] ^ t[1][(low >> 8) & 0xFF] ^ t[2][(low >> 16) & 0xFF] ^ t[3][low >> 24]
         ^ t[4][p[4]] ^ t[5][p[5]] ^ t[6][p[6]] ^ t[7][p[7]];
}

using Lanes = std::array<uint32_t, kLanes>;

// One round: every lane folds its own word. Spelled out (not a loop) so the
// lanes stay in registers and their look-ups interleave.
template <size_t... I>
inline void braidRound(Lanes &lane, const uint8_t *round, std::index_sequence<I...>)
{
    ((lane[I] = foldWord(lane[I], round + I * kWord, kBraidTables)), ...);
}
}

uint32_t Crc32Update(uint32_t crc, const uint8_t *data, uint16_t count)
{
    size_t n = count;
    if (n >= kRound) {
        const size_t rounds = n / kRound;
        n -= rounds * kRound;
        Lanes lane{};
        lane[0] = crc;
        // All rounds but the last: each lane folds its word and hops kLanes words ahead.
        for (size_t r = 1; r < rounds; ++r, data += kRound)
            braidRound(lane, data, std::make_index_sequence<kLanes>());
        // Last round: join the lanes in one ordinary CRC over the round's words.
        crc = 0;
        for (size_t i = 0; i < kLanes; ++i)
            crc = foldWord(crc ^ lane[i], data + i * kWord, kSliceTables);
        data += kRound;
    }
    for (; n >= kWord; n -= kWord, data += kWord)
        crc = foldWord(crc, data, kSliceTables);
    while (n--)
        crc = nextZeroByte(crc ^ *data++, kByteTable);
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

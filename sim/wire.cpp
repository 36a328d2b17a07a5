#include "wire.h"

#include <cstdio>
#include <string>

namespace sim {

uint32_t getBe32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint32_t getBe24(const uint8_t *p)
{
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

void putBe32(Bytes &out, uint32_t v)
{
    out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

void putBe24(Bytes &out, uint32_t v)
{
    out.insert(out.end(), {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

uint8_t xorSum(const uint8_t *p, size_t n)
{
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i)
        x ^= p[i];
    return x;
}

size_t frameLength(const uint8_t *p)
{
    return size_t(p[2]) << 8 | p[3];
}

static Bytes finish(Bytes f)
{
    f.push_back(0);
    f[2] = uint8_t(f.size() >> 8);
    f[3] = uint8_t(f.size());
    f.back() = xorSum(f.data(), f.size());
    return f;
}

Bytes buildFrame(uint8_t opcode, uint8_t seq, const Bytes &payload)
{
    Bytes f{'K', 'X', 0, 0, opcode, seq};
    f.insert(f.end(), payload.begin(), payload.end());
    return finish(std::move(f));
}

Bytes buildAck(uint8_t seq, int32_t value)
{
    Bytes payload;
    putBe32(payload, uint32_t(value));
    return buildFrame(OpAck, seq, payload);
}

Bytes buildDiscover(uint32_t baud, const uint8_t mac[6], const uint8_t ip[4])
{
    // The discover frame has no sequence number: its payload starts at offset 5.
    Bytes f{'K', 'X', 0, 0, OpDiscover};
    putBe24(f, baud);
    f.insert(f.end(), mac, mac + 6);
    f.insert(f.end(), ip, ip + 4);
    return finish(std::move(f));
}

std::string describeFrame(const uint8_t *p, size_t n)
{
    char buf[160];
    if (n < 5) {
        std::snprintf(buf, sizeof buf, "short len=%zu", n);
        return buf;
    }
    const unsigned op = p[4];
    if (op == OpDiscover) {
        if (n < kDiscoverLength)
            return "op=0 len=" + std::to_string(n);
        std::snprintf(buf, sizeof buf, "op=0 len=%zu baud=%u mac=%02X-%02X-%02X-%02X-%02X-%02X ip=%u.%u.%u.%u",
                      n, getBe24(p + 5), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15], p[16], p[17]);
        return buf;
    }
    int k = std::snprintf(buf, sizeof buf, "op=%u seq=%u len=%zu", op, n > 5 ? p[5] : 0u, n);
    auto more = [&](const char *fmt, auto... args) {
        if (k > 0 && size_t(k) < sizeof buf)
            k += std::snprintf(buf + k, sizeof buf - size_t(k), fmt, args...);
    };
    switch (op) {
    case OpAttach:
        if (n >= kAttachLength)
            more(" baud=%u ip=%u.%u.%u.%u server=%u.%u.%u.%u", getBe24(p + 6), p[15], p[16], p[17], p[18],
                 p[19], p[20], p[21], p[22]);
        break;
    case OpAck:
    case OpProgress:
        if (n >= 11)
            more(" value=%d", int32_t(getBe32(p + 6)));
        break;
    case OpUpload:
    case OpDownload:
    case OpCalcCrc32:
    case OpFlashErase:
        if (n >= 15)
            more(" addr=0x%08X count=%u", getBe32(p + 6), getBe32(p + 10));
        break;
    case OpFlashCopy:
        if (n >= 19)
            more(" flash=0x%08X ram=0x%08X count=%u", getBe32(p + 6), getBe32(p + 10), getBe32(p + 14));
        break;
    case OpFlashLock:
        if (n >= 16)
            more(" mode=%u addr=0x%08X count=%u", p[6], getBe32(p + 7), getBe32(p + 11));
        break;
    default:
        break;
    }
    return buf;
}

} // namespace sim

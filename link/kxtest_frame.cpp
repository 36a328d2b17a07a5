// The frame: checksum, byte extraction, big-endian fields, and the command
// builders that all share one frame layout.
#include "link/kxtest.h"

#include <chrono>
#include <cstring>

int64_t kxtest_now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int kxtest_length(const uint8_t *frame) { return (frame[2] << 8) | frame[3]; }

uint8_t kxtest_checksum(const uint8_t *frame)
{
    uint8_t sum = 0;
    for (int i = kxtest_length(frame) - 1; i >= 0; --i)
        sum ^= frame[i];
    return sum;
}

uint8_t kxtest_byte(int32_t value, int n)
{
    return uint8_t(uint32_t(value) >> (8 * (n - 1)));
}

int32_t kxtest_get32(const uint8_t *p)
{
    return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
}

namespace {
constexpr uint8_t kMagic0 = 0x4B;   // "K"
constexpr uint8_t kMagic1 = 0x58;   // "X"
constexpr int kPayload = 6;         // offset of the first payload byte

// Builds the frame as it is written: magic, opcode, sequence number, then
// payload fields appended in order; finish() adds the checksum and the length.
class FrameWriter {
public:
    FrameWriter(uint8_t *frame, uint8_t opcode, uint8_t seq) : m_f(frame)
    {
        m_f[0] = kMagic0;
        m_f[1] = kMagic1;
        m_f[4] = opcode;
        m_f[5] = seq;
    }
    void put8(uint8_t v) { m_f[m_pos++] = v; }
    void put24(int32_t v) { for (int n = 3; n >= 1; --n) put8(kxtest_byte(v, n)); }
    void put32(int32_t v) { for (int n = 4; n >= 1; --n) put8(kxtest_byte(v, n)); }
    void putBytes(const uint8_t *p, int count) { std::memcpy(m_f + m_pos, p, size_t(count)); m_pos += count; }
    int finish()
    {
        put8(0);
        m_f[2] = kxtest_byte(m_pos, 2);
        m_f[3] = kxtest_byte(m_pos, 1);
        m_f[m_pos - 1] = kxtest_checksum(m_f);
        return m_pos;
    }

private:
    uint8_t *m_f;
    int m_pos = kPayload;
};

uint8_t nextSeq(kx_context *ctx) { return ++ctx->seq_out; }   // wraps 255 -> 0

int addressLengthFrame(kx_context *ctx, uint8_t *frame, uint8_t opcode, int32_t address, int32_t length)
{
    FrameWriter w(frame, opcode, nextSeq(ctx));
    w.put32(address);
    w.put32(length);
    return w.finish();
}
}

int kxtest_build_attach(kx_context *ctx, uint8_t *frame, int)
{
    // The attach restarts both sequence counts; only an ack numbered 0 answers it.
    ctx->seq_out = 0;
    ctx->seq_acked = 255;
    ctx->seq_in = 0;
    FrameWriter w(frame, KX_OP_ATTACH, 0);
    w.put24(ctx->baud);
    w.putBytes(ctx->hwaddr, 6);
    w.putBytes(ctx->box_ip, 4);
    w.putBytes(ctx->server_ip, 4);
    return w.finish();
}

int kxtest_build_ack(kx_context *, uint8_t *frame, int, uint8_t seq, int32_t value)
{
    FrameWriter w(frame, KX_OP_ACK, seq);
    w.put32(value);
    return w.finish();
}

int kxtest_build_nop(kx_context *ctx, uint8_t *frame, int)
{
    return FrameWriter(frame, KX_OP_NOP, nextSeq(ctx)).finish();
}

int kxtest_build_upload(kx_context *ctx, uint8_t *frame, int, int32_t address, const uint8_t *data,
                        int32_t count)
{
    FrameWriter w(frame, KX_OP_UPLOAD, nextSeq(ctx));
    w.put32(address);
    w.put32(count);
    w.putBytes(data, count);
    return w.finish();
}

int kxtest_build_download(kx_context *ctx, uint8_t *frame, int, int32_t address, int32_t length)
{
    return addressLengthFrame(ctx, frame, KX_OP_DOWNLOAD, address, length);
}

int kxtest_build_calccrc32(kx_context *ctx, uint8_t *frame, int, int32_t address, int32_t length)
{
    return addressLengthFrame(ctx, frame, KX_OP_CALCCRC32, address, length);
}

int kxtest_build_flasherase(kx_context *ctx, uint8_t *frame, int, int32_t address, int32_t length)
{
    return addressLengthFrame(ctx, frame, KX_OP_FLASHERASE, address, length);
}

int kxtest_build_flashcopy(kx_context *ctx, uint8_t *frame, int, int32_t flash_address,
                           int32_t ram_address, int32_t length)
{
    FrameWriter w(frame, KX_OP_FLASHCOPY, nextSeq(ctx));
    w.put32(flash_address);
    w.put32(ram_address);
    w.put32(length);
    return w.finish();
}

int kxtest_build_flashlock(kx_context *ctx, uint8_t *frame, int, uint8_t mode, int32_t address,
                           int32_t count)
{
    FrameWriter w(frame, KX_OP_FLASHLOCK, nextSeq(ctx));
    w.put8(mode);
    w.put32(address);
    w.put32(count);
    return w.finish();
}

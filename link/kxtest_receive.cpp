// Received bytes to frames, frames to actions: the serial frame assembler, the
// frame check, the dispatcher with its sequence rules, and the handlers.
#include "link/kxtest.h"

#include "link/kxtest_log.h"
#include "link/panel.h"

#include <cstring>

namespace {
constexpr int kStaleFrameMs = 500;         // a partial frame older than this is dropped
constexpr uint8_t kOversizeHighByte = 0x20;  // length high byte of 0x2000 bytes and more
constexpr int kMinLength = 5;              // magic, length and opcode
constexpr int kDumpBelow = 20;             // received frames shorter than this are dumped
constexpr int kProgressStep = 10240;       // download progress is shown every 10 KB
constexpr int kUploadHeader = 15;          // upload frame without its data bytes

Panel *panelOf(kx_context *ctx) { return ctx->io.panel; }

void log(kx_context *ctx, int level, const QString &text, bool newline = true)
{
    kxtest_log(panelOf(ctx), level, text, newline);
}

QString charText(uint8_t byte) { return QString(QChar(byte)); }

// Fields of a frame read within its length only: a frame shorter than its
// opcode's layout reads its missing bytes as 0.
struct FrameView {
    const uint8_t *f;
    int len;
    uint8_t at(int i) const { return i < len ? f[i] : 0; }
    int32_t get32(int i) const
    {
        return int32_t(uint32_t(at(i)) << 24 | uint32_t(at(i + 1)) << 16 | uint32_t(at(i + 2)) << 8 | at(i + 3));
    }
};
}

void kxtest_touch(kx_context *ctx) { ctx->last_activity = kxtest_now_ms(); }

int kxtest_rx_byte(kx_context *ctx, uint8_t byte)
{
    int result = 0;
    if (ctx->rx_pos > 0 && kxtest_now_ms() - ctx->rx_start > kStaleFrameMs)
        ctx->rx_pos = 0;
    ctx->rx_buf[ctx->rx_pos++] = byte;
    if (ctx->rx_pos == 1) {
        if (byte == 0x4B)
            ctx->rx_start = kxtest_now_ms();
        else
            ctx->rx_pos = 0;
    }
    if (ctx->rx_pos == 2 && ctx->rx_buf[1] != 0x58)
        ctx->rx_pos = 0;
    if (ctx->rx_pos == 3 && ctx->rx_buf[2] >= kOversizeHighByte) {
        log(ctx, 1, QStringLiteral("server: ignoring packet, >= 0x2000 bytes."));
        ctx->rx_pos = 0;
    }
    if (ctx->rx_pos > 0)
        result = 1;
    if (ctx->rx_pos > KX_FRAME_MAX) {
        log(ctx, 1, QStringLiteral("server: ignoring oversized packet"));
        ctx->rx_pos = 0;
    }
    if (ctx->rx_pos == 0)
        log(ctx, 2, charText(byte), false);
    if (ctx->rx_pos > 4) {
        const int length = kxtest_length(ctx->rx_buf);
        if (ctx->rx_pos > length) {
            ctx->rx_pos = 0;
        } else if (ctx->rx_pos == length) {
            // Reset first: bytes that arrive while the frame is handled start a new one.
            ctx->rx_pos = 0;
            kxtest_rx_frame(ctx, ctx->rx_buf, KX_FRAME_MAX, 0);
            result = -1;
        }
    }
    return result;
}

void kxtest_rx_frame(kx_context *ctx, uint8_t *frame, int size, int marker)
{
    if (frame[0] != 0x4B || frame[1] != 0x58)
        log(ctx, 3, QStringLiteral("server: wrong header"));
    const int length = kxtest_length(frame);
    if (DebugLevel >= 3) {   // the dump costs a string per byte: only when shown
        log(ctx, 3, QString::asprintf("server: REC (%d) ", marker), false);
        if (length < kDumpBelow)
            for (int i = 0; i < length && i < size; ++i)
                log(ctx, 3, QString::asprintf("%02X ", frame[i]), false);
        log(ctx, 3, QString(), true);
    }
    // The length field is the box's word: never read past the buffer for it.
    if (length < kMinLength || length > size) {
        log(ctx, 1, QString::asprintf("server: ignoring packet, length field %d", length));
        return;
    }
    if (kxtest_checksum(frame) != 0) {
        log(ctx, 3, QStringLiteral("checksum error"));
        return;
    }
    kxtest_dispatch(ctx, frame, size, marker);
}

void kxtest_dispatch(kx_context *ctx, uint8_t *frame, int size, int marker)
{
    const int length = kxtest_length(frame);
    if (length < kMinLength || length > size)
        return;
    const FrameView view{frame, length};
    const uint8_t opcode = frame[4];
    if (DebugLevel >= 2)
        log(ctx, 2, QStringLiteral("server: received packet with OpCode %1").arg(opcode));

    uint8_t seq = 0;
    bool inOrder = true;
    if (opcode != KX_OP_DISCOVER) {
        kxtest_touch(ctx);
        ctx->retries = 0;
        seq = view.at(5);
        if (opcode == KX_OP_ACK) {
            ctx->seq_acked = seq;
            ctx->result = view.get32(6);
            return;
        }
        inOrder = seq == ctx->seq_in;
    }
    if (opcode == KX_OP_ATTACH) {
        inOrder = true;
        ctx->seq_out = 0;
    }

    if (inOrder) {
        if (opcode != KX_OP_DISCOVER) {
            ctx->seq_in = uint8_t(seq + 1);
            if (ctx->busy == 1) {
                log(ctx, 1, QStringLiteral("server: fatal error, already processing (should: %1)").arg(opcode));
                log(ctx, 1, QString());
            }
            ctx->busy = 1;
        }
        switch (opcode) {
        case KX_OP_DISCOVER: ctx->result = kxtest_process_discover(ctx, frame); break;
        case KX_OP_ATTACH: ctx->result = -1; break;   // the server accepts no attach
        case KX_OP_DETACH: ctx->link_state = 0; ctx->result = 0; break;
        case KX_OP_NOP: ctx->result = kxtest_process_nop(ctx); break;
        case KX_OP_UPLOAD: ctx->result = kxtest_process_upload(ctx, frame, marker); break;
        case KX_OP_DOWNLOAD: log(ctx, 1, QStringLiteral("server: process kxtest_process_download")); break;
        case KX_OP_CALCCRC32: log(ctx, 1, QStringLiteral("server: process kxtest_process_calccrc32")); break;
        case KX_OP_PROGRESS: ctx->result = kxtest_process_progress(ctx, frame); break;
        default:
            log(ctx, 1, QStringLiteral("unknown packet, type %1").arg(opcode));
            ctx->result = -1;
            break;
        }
        if (opcode != KX_OP_DISCOVER)
            ctx->busy = 0;
    } else {
        log(ctx, 1, QStringLiteral("server: wrong sequence.. (mine is %1, remote says %2)").arg(seq).arg(ctx->seq_in));
    }
    if (opcode == KX_OP_DISCOVER)
        return;

    // A request handled further out (busy still set) is acknowledged one lower.
    const uint8_t ackSeq = uint8_t(seq - (ctx->busy ? 1 : 0));
    uint8_t ack[KX_SMALL_FRAME];
    kxtest_build_ack(ctx, ack, sizeof ack, ackSeq, ctx->result);
    kxtest_send_packet(ctx, ack, marker);
}

int32_t kxtest_process_nop(kx_context *) { return KX_NOP_ANSWER; }

int32_t kxtest_process_progress(kx_context *ctx, const uint8_t *frame)
{
    const FrameView view{frame, kxtest_length(frame)};
    if (Panel *panel = panelOf(ctx)) {
        panel->setProgressPos(view.get32(6));
        panel->repaint();
    }
    return 0;
}

int32_t kxtest_process_upload(kx_context *ctx, const uint8_t *frame, int)
{
    const FrameView view{frame, kxtest_length(frame)};
    const int32_t address = view.get32(6);
    const int32_t count = view.get32(10);
    const int64_t offset = int64_t(address) - ctx->dl_base;
    // The block is the box's word: store it only where it fits, from bytes that
    // are really in the frame. It is acknowledged either way.
    if (count < 0 || count > view.len - kUploadHeader) {
        log(ctx, 1, QString::asprintf("server: data block at 0x%08X claims %d bytes, frame holds %d",
                                      uint32_t(address), count, view.len - kUploadHeader));
        return 0;
    }
    const int64_t limit = qMin<int64_t>(ctx->dl_size, int64_t(ctx->dl_buffer.size()));
    if (offset < 0 || offset + count > limit) {
        log(ctx, 1, QString::asprintf("server: data block at 0x%08X (%d bytes) lies outside the download buffer",
                                      uint32_t(address), count));
        return 0;
    }
    if (offset % kProgressStep == 0) {
        if (Panel *panel = panelOf(ctx)) {
            panel->setProgressPos(int(offset));
            panel->setPanelText(2, QString::asprintf(" Bytes=%d", int(offset)));
        }
    }
    std::memcpy(ctx->dl_buffer.data() + offset, frame + 14, size_t(count));
    return 0;
}

void kxtest_serial_receive(kx_context *ctx, int count)
{
    ser_readin(ctx, count);
    uint8_t byte;
    while (kxtest_take_byte(ctx, &byte)) {
        // In network mode the serial line carries only the box's console output.
        if (ctx->use_net)
            log(ctx, 1, charText(byte), false);
        if (kxtest_rx_byte(ctx, byte) == -1)
            break;
    }
}

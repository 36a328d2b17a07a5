// The request engine: send, wait for the acknowledgement while the event loop
// runs, retransmit. The wait blocks in the event loop when nothing is pending,
// so a silent box costs no CPU.
#include "link/kxtest.h"

#include "link/kxtest_log.h"
#include "link/panel.h"
#include "platform/serial_port.h"
#include "platform/udp_socket.h"

#include <QThread>
#include <chrono>

namespace {
// A fast peer answers within tens of microseconds: looking for its datagram
// that long before blocking saves the event loop's wake-up per round trip.
constexpr auto kLatencySpin = std::chrono::microseconds(40);
constexpr int kIdleSleepMs = 1;   // the jobs' gentle network wait (yield_1ms)

bool serialRingEmpty(const kx_context *ctx)
{
    const int next = ctx->ser_tail + 1 > KX_SER_RING_SIZE - 1 ? 0 : ctx->ser_tail + 1;
    return next == ctx->ser_head;
}

bool udpRingEmpty(const kx_context *ctx)
{
    const int next = ctx->udp_tail + 1 > KX_UDP_SLOTS - 1 ? 0 : ctx->udp_tail + 1;
    return next == ctx->udp_head;
}

bool udpRingFull(const kx_context *ctx) { return ctx->udp_head == ctx->udp_tail; }

qint64 serialWaiting(const kx_context *ctx) { return ctx->io.serial ? ctx->io.serial->bytesAvailable() : 0; }

bool datagramWaiting(const kx_context *ctx) { return ctx->io.udp && ctx->io.udp->hasPendingDatagram(); }

// Nothing to take and nothing unread at the port or the socket.
bool idle(const kx_context *ctx)
{
    if (!serialRingEmpty(ctx) || serialWaiting(ctx) > 0)
        return false;
    return !ctx->use_net || (udpRingEmpty(ctx) && !datagramWaiting(ctx));
}

bool spinForDatagram(const kx_context *ctx)
{
    const auto end = std::chrono::steady_clock::now() + kLatencySpin;
    do {
        if (datagramWaiting(ctx))
            return true;
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

void waitIdle(kx_context *ctx, int64_t deadline)
{
    if (ctx->use_net) {
        if (ctx->yield_1ms)
            QThread::msleep(kIdleSleepMs);
        else if (spinForDatagram(ctx))
            return;
        if (!idle(ctx))
            return;
    }
    const int64_t ms = deadline - kxtest_now_ms();
    if (ms > 0 && ctx->io.panel)
        ctx->io.panel->waitForEvent(int(ms));
}
}

int32_t kxtest_request(kx_context *ctx, uint8_t *frame, int, int transport)
{
    ctx->retries = 0;
    for (;;) {
        if (ctx->retries > 0)
            kxtest_log(ctx->io.panel, 1, QString::asprintf("server: retry  %d", ctx->retries), true);
        if (++ctx->retries >= KX_MAX_TRANSMISSIONS + 1)
            break;
        kxtest_send_packet(ctx, frame, transport);
        if (kxtest_wait_ack(ctx) == -1)
            break;
    }
    if (ctx->retries == KX_MAX_TRANSMISSIONS + 1) {
        kxtest_log(ctx->io.panel, 1, QStringLiteral("timeout resending packets.."), true);
        return -1;
    }
    return ctx->result;
}

int kxtest_wait_ack(kx_context *ctx)
{
    if (ctx->link_state == -1) {
        ctx->result = -1;
        return -1;
    }
    kxtest_touch(ctx);
    while (ctx->seq_out != ctx->seq_acked) {
        kxtest_poll(ctx);
        // Every received frame moves last_activity on: the time-out bounds the
        // box's silence, not the length of the operation.
        const int64_t deadline = ctx->last_activity + int64_t(ctx->reply_timeout) * 1000;
        if (kxtest_now_ms() >= deadline)
            break;
        if (ctx->seq_out != ctx->seq_acked && idle(ctx))
            waitIdle(ctx, deadline);
    }
    return ctx->seq_out == ctx->seq_acked ? -1 : 0;
}

void kxtest_poll(kx_context *ctx)
{
    if (ctx->io.panel)
        ctx->io.panel->doEvents();
    // Qt emits no new readyRead while one is being handled, and the waits nested
    // in a receive handler still need the bytes: deliver them here.
    if (const qint64 waiting = serialWaiting(ctx); waiting > 0)
        ser_readin(ctx, int(qMin<qint64>(waiting, KX_SER_RING_SIZE - 1)));
    uint8_t byte;
    while (ctx->ser_pending) {
        if (!kxtest_take_byte(ctx, &byte))
            break;
        if (kxtest_rx_byte(ctx, byte) == -1)
            return;
    }
    if (!ctx->use_net)
        return;
    // The socket's own pass over pending events is the check below: waiting
    // datagrams are read straight from the socket.
    while (datagramWaiting(ctx) && !udpRingFull(ctx))
        udpfdDataAvailable(ctx);
    uint8_t datagram[KX_RXBUF_SIZE];
    if (kxtest_take_datagram(ctx, datagram))
        kxtest_rx_frame(ctx, datagram, KX_FRAME_MAX, 1);
}

// The link session record, its receive rings, putting a frame on the wire and
// the transport events.
#include "link/kxtest.h"

#include "link/kxtest_log.h"
#include "link/panel.h"
#include "platform/serial_port.h"
#include "platform/udp_socket.h"

#include <QHostAddress>
#include <cstring>

namespace {
const QString kPortText = QString::number(KX_PORT);
constexpr int kDefaultBaud = 115200;       // what the loader starts with
constexpr int kDefaultReplyTimeoutS = 1;   // jobs raise it for long box operations

int nextSerialIndex(int i) { return i + 1 > KX_SER_RING_SIZE - 1 ? 0 : i + 1; }
int nextUdpSlot(int i) { return i + 1 > KX_UDP_SLOTS - 1 ? 0 : i + 1; }

Panel *panelOf(kx_context *ctx) { return ctx->io.panel; }
}

void kxtest_zero(kx_context *ctx)
{
    kx_io io = std::move(ctx->io);
    *ctx = kx_context{};
    ctx->io = std::move(io);
}

void kxtest_init(kx_context *ctx)
{
    std::memset(ctx->box_ip, 0, sizeof ctx->box_ip);
    ctx->transport = 0;
    ctx->baud = kDefaultBaud;
    ctx->rx_pos = 0;
    std::memset(ctx->rx_buf, 0, sizeof ctx->rx_buf);
    ctx->use_net = 0;
    ctx->seq_out = 0;
    ctx->seq_in = 0;
    ctx->seq_acked = 0;
    ctx->link_state = 0;
    ctx->result = 0;
    ctx->reply_timeout = kDefaultReplyTimeoutS;
    ctx->busy = 0;
    ctx->auto_attach = 1;
    ctx->net_ready = 0;
    ctx->yield_1ms = 0;
    std::memset(ctx->udp_slot, 0, sizeof ctx->udp_slot);
    std::memset(ctx->udp_len, 0, sizeof ctx->udp_len);
    ctx->udp_head = 0;
    ctx->udp_tail = -1;
    ctx->udp_pending = 0;
    ctx->ser_head = 0;
    ctx->ser_tail = -1;
    ctx->ser_pending = 0;
}

bool kxtest_take_byte(kx_context *ctx, uint8_t *out)
{
    const int i = nextSerialIndex(ctx->ser_tail);
    if (i == ctx->ser_head) {
        ctx->ser_pending = 0;
        return false;
    }
    *out = ctx->ser_ring[i];
    ctx->ser_tail = i;
    return true;
}

bool kxtest_take_datagram(kx_context *ctx, uint8_t *out, int *len)
{
    const int i = nextUdpSlot(ctx->udp_tail);
    if (i == ctx->udp_head) {
        ctx->udp_pending = 0;
        return false;
    }
    std::memcpy(out, ctx->udp_slot[i], size_t(ctx->udp_len[i]));
    if (len)
        *len = ctx->udp_len[i];
    ctx->udp_tail = i;
    return true;
}

void kxtest_flush(kx_context *ctx)
{
    if (ctx->use_net) {
        uint8_t datagram[KX_RXBUF_SIZE];
        while (kxtest_take_datagram(ctx, datagram)) {
        }
    }
    uint8_t byte;
    while (kxtest_take_byte(ctx, &byte)) {
    }
}

void ser_readin(kx_context *ctx, int count)
{
    SerialPort *port = ctx->io.serial;
    if (!port)
        return;
    uint8_t staging[KX_SER_RING_SIZE];
    int head = ctx->ser_head;
    while (count > 0) {
        const int n = port->read(staging, count < int(sizeof staging) ? count : int(sizeof staging));
        if (n <= 0)
            break;
        for (int k = 0; k < n; ++k) {
            // Overflow is reported, not prevented: the byte overwrites the one
            // taken last and the ring then reads as empty.
            if (head == ctx->ser_tail)
                kxtest_log(panelOf(ctx), 1, QString::asprintf("PANIC, SER BUFFER OVERFLOW %d!", head), true);
            ctx->ser_ring[head] = staging[k];
            head = nextSerialIndex(head);
        }
        count -= n;
    }
    ctx->ser_head = head;
    ctx->ser_pending = 1;
}

void udpfdDataAvailable(kx_context *ctx)
{
    UdpSocket *socket = ctx->io.udp;
    if (!socket)
        return;
    uint8_t *slot = ctx->udp_slot[ctx->udp_head];
    QHostAddress sender;
    const int n = socket->readDatagram(slot, KX_FRAME_MAX, &sender);
    if (n < 0)
        return;
    // Datagrams are untrusted: only the box may feed the ring, and only with a
    // frame that fits in what arrived.
    bool ok = false;
    const quint32 from = sender.toIPv4Address(&ok);
    const quint32 box = quint32(ctx->box_ip[0]) << 24 | quint32(ctx->box_ip[1]) << 16
                        | quint32(ctx->box_ip[2]) << 8 | ctx->box_ip[3];
    if (!ok || from != box) {
        kxtest_log(panelOf(ctx), 1,
                   QStringLiteral("server: ignoring datagram from %1, not from the box").arg(sender.toString()), true);
        return;
    }
    const int length = n >= 4 ? kxtest_length(slot) : -1;
    if (length < 5 || length > n) {
        kxtest_log(panelOf(ctx), 1,
                   QString::asprintf("server: ignoring datagram of %d bytes with length field %d", n, length), true);
        return;
    }
    if (ctx->udp_head == ctx->udp_tail)
        kxtest_log(panelOf(ctx), 1, QString::asprintf("PANIC, UDP BUFFER OVERFLOW %d!", ctx->udp_head), true);
    ctx->udp_len[ctx->udp_head] = n;
    ctx->udp_head = nextUdpSlot(ctx->udp_head);
    ctx->udp_pending = 1;
}

void udpfdError(kx_context *ctx) { kxtest_log(panelOf(ctx), 1, QStringLiteral("udpfdError"), true); }

void udpfdSendFailed(kx_context *ctx) { kxtest_log(panelOf(ctx), 1, QStringLiteral("udpfdSendFailed"), true); }

void ComPortError(kx_context *ctx, unsigned errors)
{
    static const struct { unsigned bit; const char *line; } kLines[] = {
        {SerialPort::Framing, "COM: The hardware detected a framing error."},
        {SerialPort::Overrun, "COM: A charachter buffer overrun has occured. The next charachter is lost."},
        {SerialPort::Parity, "COM: The hardware detected a parity error."},
        {SerialPort::Break, "COM: The hardware detected a break condition."},
        {SerialPort::IoError, "COM: An I/O error occured during communication with the device."},
        {SerialPort::ModeNotSupported, "COM: The requested mode is not supported."},
        {SerialPort::InputOverflow, "COM: An input buffer overflow has occured."},
        {SerialPort::OutputFull, "COM: The output buffer is full."},
    };
    for (const auto &l : kLines)
        if (errors & l.bit)
            kxtest_log(panelOf(ctx), 1, QString::fromLatin1(l.line), true);
}

void kxtest_send_packet(kx_context *ctx, const uint8_t *frame, int transport)
{
    if (ctx->link_state == -1)
        return;
    const int length = kxtest_length(frame);
    if (transport == -1)
        transport = ctx->transport;
    Panel *panel = panelOf(ctx);
    if (DebugLevel >= 4) {
        constexpr int kDumpBelow = 30;   // small frames are dumped byte by byte
        kxtest_log(panel, 4, QString::asprintf("server: send packet (%d) len: %d, seq 0x%X : ", transport, length, frame[5]), false);
        if (length < kDumpBelow)
            for (int i = 0; i < length; ++i)
                kxtest_log(panel, 4, QString::asprintf("%02X ", frame[i]), false);
        kxtest_log(panel, 4, QString(), true);
    }
    if (transport != 0) {
        if (ctx->io.udp)
            ctx->io.udp->sendTo(panel ? panel->boxIpText() : QString(), kPortText, frame, length);
        return;
    }
    if (!ctx->io.serial)
        return;
    try {
        if (ctx->io.serial->write(frame, length) != length)
            kxtest_log(panel, 1, QStringLiteral("COM - not all bytes written!"), true);
    } catch (const SerialError &) {
        // A failing or closed port: the request times out and reports that.
    }
}

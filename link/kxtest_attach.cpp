// Discovery and attach: the box announces itself, the server attaches it,
// moves to UDP in network mode and checks the link with a Ping.
#include "link/kxtest.h"

#include "link/box_probe.h"
#include "link/kxtest_log.h"
#include "link/panel.h"
#include "platform/udp_socket.h"
#include "texts/lang_text.h"

#include <QThread>
#include <charconv>
#include <cstring>

namespace {
constexpr int32_t kAttachBaud = 115200;                          // the attach always announces this
constexpr uint8_t kServerHwAddr[6] = {0x02, 0x4B, 0x7D, 0x00, 0x00, 0xFF};
constexpr int kProbeCount = 5;         // echoes that wake the box's network stack before the Ping
constexpr int kProbeTimeoutMs = 500;   // each echo's time-out
constexpr int kRepingPauseMs = 10;     // settle time around the flush before the second Ping
// Models whose loader answers UDP only after a few echoes have reached it.
const char *const kModelsProbedBeforePing[] = {"KX210", "KX23xx", "SOLAN 318"};

QString dotted(const uint8_t ip[4])
{
    return QString::asprintf("%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
}

bool probedBeforePing(const QString &model)
{
    for (const char *m : kModelsProbedBeforePing)
        if (model == QLatin1String(m))
            return true;
    return false;
}

void status(kx_context *ctx, int id, const char *english)
{
    if (ctx->io.panel)
        ctx->io.panel->SetStatusText(LangText(id, QString::fromLatin1(english)), true);
}
}

int32_t kxtest_process_discover(kx_context *ctx, const uint8_t *frame)
{
    // Every field is copied before the attach pumps events and reuses the buffer.
    const int length = kxtest_length(frame);
    auto at = [&](int i) -> uint8_t { return i < length ? frame[i] : 0; };
    ctx->baud = at(5) << 16 | at(6) << 8 | at(7);
    for (int i = 0; i < 6; ++i)
        ctx->hwaddr[i] = at(8 + i);
    for (int i = 0; i < 4; ++i)
        ctx->box_ip[i] = at(14 + i);
    kxtest_log(ctx->io.panel, 1,
               QStringLiteral("server: got discover packet, ip %1, baud %2").arg(dotted(ctx->box_ip)).arg(ctx->baud),
               true);
    if (ctx->link_state == 0 && ctx->auto_attach == 1)
        kxtest_attach(ctx);
    return 0;
}

int kxtest_attach(kx_context *ctx)
{
    Panel *panel = ctx->io.panel;
    ctx->auto_attach = 0;
    if (!ctx->use_net && ctx->net_ready == 0)
        kxtest_setup_addresses(ctx);
    ctx->baud = kAttachBaud;

    uint8_t frame[KX_SMALL_FRAME];
    kxtest_build_attach(ctx, frame, sizeof frame);
    if (kxtest_request(ctx, frame, sizeof frame, -1) != 0) {
        kxtest_log(panel, 1, QStringLiteral("attach failed!"), true);
        if (ctx->link_state != -1)
            status(ctx, 60, "Box doesn't answer, attach aborted!");
        ctx->auto_attach = 1;
        ctx->seq_out = ctx->seq_in = ctx->seq_acked = 0;
        if (panel)
            panel->setPingEnabled(false);
        return 0;
    }
    status(ctx, 34, "attached box, wating for 2nd acknowledge");
    kxtest_log(panel, 1,
               QStringLiteral("server: ATTACHED box!, temporary, ip %1, baud %2").arg(dotted(ctx->box_ip)).arg(ctx->baud),
               true);
    if (ctx->net_ready == 1 && ctx->box_ip[0] != 0)
        ctx->use_net = 1;
    if (ctx->use_net)
        ctx->transport = 1;
    ctx->seq_in = 1;
    ctx->link_state = 1;

    if (ctx->use_net && probedBeforePing(ctx->io.modelName) && panel) {
        for (int i = 0; i < kProbeCount; ++i) {
            try {
                doPing(panel, panel->boxIpText(), kProbeTimeoutMs);
            } catch (const ProbeError &) {
                // The echoes only wake the box; their outcome is not used.
            }
        }
    }
    if (!panel)
        return 0;
    panel->ButtonPingClick();
    if (ctx->link_state == 0) {
        QThread::msleep(kRepingPauseMs);
        kxtest_flush(ctx);
        QThread::msleep(kRepingPauseMs);
        panel->ButtonPingClick();
    }
    panel->EnableButtons(true);
    // A link the operator stopped meanwhile (Disconnect) is neither ready nor
    // silent: Disconnect has emptied the status line and it stays so.
    if (ctx->link_state == 1)
        status(ctx, 61, "Box attached and ready");
    else if (ctx->link_state == 0)
        status(ctx, 60, "Box doesn't answer, attach aborted!");
    return 0;
}

int kxtest_setup_addresses(kx_context *ctx)
{
    std::memcpy(ctx->hwaddr, kServerHwAddr, sizeof kServerHwAddr);
    Panel *panel = ctx->io.panel;
    if (!panel || !panel->useNetChecked()) {
        ctx->net_ready = 0;
        return 0;
    }
    kxtest_parse_ip(panel->boxIpText(), ctx->box_ip);
    kxtest_parse_ip(panel->pcIpText(), ctx->server_ip);
    ctx->net_ready = 1;
    UdpSocket *udp = ctx->io.udp;
    if (!udp) {
        ctx->net_ready = 0;
        return 0;
    }
    udp->setLocalHost(panel->pcIpText());
    udp->setLocalPort(QString::number(KX_PORT));
    if (!udp->setBound(true)) {
        // Without the socket the box can only be reached on the serial line.
        kxtest_log(panel, 1, QStringLiteral("server: UDP bind failed (%1), staying on the serial line")
                                 .arg(udp->errorText()), true);
        ctx->net_ready = 0;
    }
    return 0;
}

int kxtest_parse_ip(const QString &text, uint8_t out[4])
{
    const QByteArray latin = text.toLatin1();
    const char *rest = latin.constData();
    const char *const end = rest + latin.size();
    for (int octet = 0; octet < 4; ++octet) {
        const char *dot = static_cast<const char *>(std::memchr(rest, '.', size_t(end - rest)));
        if (!dot && octet < 3)
            return -1;
        if (rest == end && octet == 3)
            return -1;
        const char *partEnd = dot ? dot : end;
        // Decimal only, the whole part; the low 8 bits are kept (300 -> 0x2C).
        long long value = 0;
        const char *from = rest != partEnd && *rest == '+' ? rest + 1 : rest;
        const auto [ptr, ec] = std::from_chars(from, partEnd, value);
        if (ec != std::errc() || ptr != partEnd || from == partEnd)
            return -1;
        out[octet] = uint8_t(value);
        rest = dot ? dot + 1 : end;
    }
    return 0;
}

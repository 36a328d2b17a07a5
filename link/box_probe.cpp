// doPing: one echo to the box's address and its protocol-log line; LookupMac.

#include "link/box_probe.h"

#include "link/kxtest_log.h"
#include "platform/arp_table.h"
#include "platform/icmp_echo.h"

namespace {
constexpr int kEchoTtl = 64;   // the echo's time-to-live, also named in the log line
}

bool doPing(Panel *panel, const QString &address, int timeoutMs)
{
    EchoOutcome r;
    try {
        r = icmpEcho(address, kEchoTtl, timeoutMs);
    } catch (const IcmpEchoError &e) {
        throw ProbeError(e.what());
    }
    const QByteArray from = r.from.toLatin1();
    switch (r.kind) {
    case EchoOutcome::Reply:
        kxtest_log(panel, 3, QString::asprintf("server: response from host %s in %d millisec.", from.constData(), r.ms), true);
        return true;
    case EchoOutcome::Error:
        kxtest_log(panel, 3, QStringLiteral("server: Ping: Unknown error."), true);
        break;
    case EchoOutcome::TimedOut:
        kxtest_log(panel, 3, QStringLiteral("server: Ping: Timed out."), true);
        break;
    case EchoOutcome::Unreachable:
        kxtest_log(panel, 3, QString::asprintf("server: Ping: Host %s reports destination network unreachable.", from.constData()), true);
        break;
    case EchoOutcome::TtlExpired:
        kxtest_log(panel, 3, QString::asprintf("server: Ping: Hope %d %s: TTL expired.", kEchoTtl, from.constData()), true);
        break;
    case EchoOutcome::Other:
        break;
    }
    return false;
}

QString LookupMac(const QString &address)
{
    return arpLookup(address);
}

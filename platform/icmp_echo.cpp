// ICMP echo: datagram socket, raw socket, the system ping program (Linux);
// IcmpSendEcho (Windows).

#include "platform/icmp_echo.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QProcess>
#include <QRegularExpression>

#include <cstring>

namespace {

constexpr int kPayloadSize = 32;       // the echo's payload, as the window's echo client sent it
constexpr int kReplyBufferSize = 1500; // one Ethernet frame holds any reply we care about

// The address text as an IPv4 address; a host name is looked up.
QHostAddress resolve(const QString &address)
{
    QHostAddress a;
    if (a.setAddress(address) && a.protocol() == QAbstractSocket::IPv4Protocol)
        return a;
    const QHostInfo info = QHostInfo::fromName(address);
    for (const QHostAddress &h : info.addresses())
        if (h.protocol() == QAbstractSocket::IPv4Protocol)
            return h;
    throw IcmpEchoError(QStringLiteral("Ping: cannot resolve the address \"%1\".").arg(address).toStdString());
}

} // namespace

#ifdef Q_OS_WIN
// ---------------------------------------------------------------- Windows
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <vector>

EchoOutcome icmpEcho(const QString &address, int ttl, int timeoutMs)
{
    const QHostAddress target = resolve(address);
    HANDLE h = IcmpCreateFile();
    if (h == INVALID_HANDLE_VALUE)
        throw IcmpEchoError("Ping: the system's ICMP service cannot be opened.");
    char payload[kPayloadSize];
    std::memset(payload, 'A', sizeof payload);
    IP_OPTION_INFORMATION options{};
    options.Ttl = UCHAR(ttl);
    std::vector<char> reply(sizeof(ICMP_ECHO_REPLY) + kPayloadSize + 8 + kReplyBufferSize);
    const DWORD n = IcmpSendEcho(h, htonl(target.toIPv4Address()), payload, sizeof payload, &options,
                                 reply.data(), DWORD(reply.size()), DWORD(timeoutMs));
    const DWORD err = n ? 0 : GetLastError();
    IcmpCloseHandle(h);
    EchoOutcome out;
    if (n == 0) {
        out.kind = err == IP_REQ_TIMED_OUT ? EchoOutcome::TimedOut : EchoOutcome::Error;
        return out;
    }
    const auto *r = reinterpret_cast<const ICMP_ECHO_REPLY *>(reply.data());
    out.from = QHostAddress(ntohl(r->Address)).toString();
    out.ms = int(r->RoundTripTime);
    switch (r->Status) {
    case IP_SUCCESS: out.kind = EchoOutcome::Reply; break;
    case IP_REQ_TIMED_OUT: out.kind = EchoOutcome::TimedOut; break;
    case IP_DEST_NET_UNREACHABLE: case IP_DEST_HOST_UNREACHABLE:
    case IP_DEST_PROT_UNREACHABLE: case IP_DEST_PORT_UNREACHABLE:
        out.kind = EchoOutcome::Unreachable; break;
    case IP_TTL_EXPIRED_TRANSIT: case IP_TTL_EXPIRED_REASSEM:
        out.kind = EchoOutcome::TtlExpired; break;
    default: out.kind = EchoOutcome::Other; break;
    }
    return out;
}

#else
// ---------------------------------------------------------------- Linux
#include <arpa/inet.h>
#include <cerrno>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kIcmpEchoRequest = 8, kIcmpEchoReply = 0;
constexpr int kIcmpUnreachable = 3, kIcmpTimeExceeded = 11;

uint16_t internetChecksum(const uint8_t *p, int n)
{
    uint32_t sum = 0;
    for (int i = 0; i + 1 < n; i += 2)
        sum += uint32_t(p[i] << 8 | p[i + 1]);
    if (n & 1)
        sum += uint32_t(p[n - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

EchoOutcome::Kind kindOfIcmpType(int type)
{
    switch (type) {
    case kIcmpEchoReply: return EchoOutcome::Reply;
    case kIcmpUnreachable: return EchoOutcome::Unreachable;
    case kIcmpTimeExceeded: return EchoOutcome::TtlExpired;
    default: return EchoOutcome::Other;
    }
}

QString addressText(const in_addr &a)
{
    return QHostAddress(ntohl(a.s_addr)).toString();
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { if (m_fd >= 0) ::close(m_fd); }
    int get() const { return m_fd; }
private:
    int m_fd;
};

// Waits for the socket until the deadline; false when it passed.
bool waitReadable(int fd, const QElapsedTimer &clock, int timeoutMs, short *revents)
{
    const int left = timeoutMs - int(clock.elapsed());
    if (left <= 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, left);
    *revents = p.revents;
    return r > 0;
}

// The echo over a socket of `type` (SOCK_DGRAM or SOCK_RAW). Returns false
// when that kind of socket cannot be opened, so the caller tries the next way.
bool socketEcho(int type, const QHostAddress &target, int ttl, int timeoutMs, EchoOutcome *out)
{
    Fd fd(::socket(AF_INET, type, IPPROTO_ICMP));
    if (fd.get() < 0)
        return false;
    const bool raw = type == SOCK_RAW;
    ::setsockopt(fd.get(), IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    const int on = 1;
    if (!raw)   // ICMP errors reach a datagram socket through its error queue
        ::setsockopt(fd.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on);

    // The kernel replaces the identifier of a datagram socket with its own port.
    const uint16_t ident = uint16_t(::getpid());
    uint8_t packet[8 + kPayloadSize];
    std::memset(packet, 0, sizeof packet);
    packet[0] = kIcmpEchoRequest;
    packet[4] = uint8_t(ident >> 8);
    packet[5] = uint8_t(ident);
    std::memset(packet + 8, 'A', kPayloadSize);
    const uint16_t sum = internetChecksum(packet, sizeof packet);
    packet[2] = uint8_t(sum >> 8);
    packet[3] = uint8_t(sum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(target.toIPv4Address());
    QElapsedTimer clock;
    clock.start();
    if (::sendto(fd.get(), packet, sizeof packet, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) < 0) {
        out->kind = EchoOutcome::Error;
        return true;
    }

    uint8_t buf[kReplyBufferSize];
    short revents = 0;
    while (waitReadable(fd.get(), clock, timeoutMs, &revents)) {
        if (!raw && (revents & POLLERR)) {
            // An ICMP error about our echo: unreachable or time-to-live exceeded.
            char control[512];
            iovec iov{buf, sizeof buf};
            sockaddr_in from{};
            msghdr msg{};
            msg.msg_name = &from;
            msg.msg_namelen = sizeof from;
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            if (::recvmsg(fd.get(), &msg, MSG_ERRQUEUE) < 0)
                continue;
            for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                    continue;
                const auto *ee = reinterpret_cast<const sock_extended_err *>(CMSG_DATA(c));
                if (ee->ee_origin != SO_EE_ORIGIN_ICMP)
                    continue;
                const auto *offender = reinterpret_cast<const sockaddr_in *>(SO_EE_OFFENDER(ee));
                out->kind = kindOfIcmpType(ee->ee_type);
                out->from = addressText(offender->sin_addr);
                out->ms = int(clock.elapsed());
                return true;
            }
            continue;
        }
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n = ::recvfrom(fd.get(), buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &fromLen);
        if (n <= 0)
            continue;
        const uint8_t *icmp = buf;
        ssize_t len = n;
        if (raw) {   // a raw socket hands over the IP header as well, and every ICMP message
            const int ihl = (buf[0] & 0x0F) * 4;
            icmp = buf + ihl;
            len = n - ihl;
            if (len < 8)
                continue;
            if (icmp[0] == kIcmpUnreachable || icmp[0] == kIcmpTimeExceeded) {
                // The error quotes our request: IP header, then its first 8 bytes.
                const uint8_t *quoted = icmp + 8;
                if (len < 8 + 20 + 8)
                    continue;
                const uint8_t *req = quoted + (quoted[0] & 0x0F) * 4;
                if (req + 8 > icmp + len || req[0] != kIcmpEchoRequest || req[4] != uint8_t(ident >> 8)
                    || req[5] != uint8_t(ident))
                    continue;
            } else if (icmp[0] != kIcmpEchoReply || icmp[4] != uint8_t(ident >> 8) || icmp[5] != uint8_t(ident)) {
                continue;   // our own request on loopback, or someone else's echo
            }
        } else if (len < 8 || icmp[0] != kIcmpEchoReply) {
            continue;
        }
        out->kind = kindOfIcmpType(icmp[0]);
        out->from = addressText(from.sin_addr);
        out->ms = int(clock.elapsed());
        return true;
    }
    out->kind = EchoOutcome::TimedOut;
    return true;
}

// The system's ping program carries the right to send echoes itself.
bool programEcho(const QHostAddress &target, int ttl, int timeoutMs, EchoOutcome *out)
{
    QProcess ping;
    ping.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));   // English lines to read
    ping.setProcessEnvironment(env);
    const QString waitSeconds = QString::number(timeoutMs / 1000.0, 'f', 3);
    ping.start(QStringLiteral("ping"), {QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), waitSeconds,
                                        QStringLiteral("-t"), QString::number(ttl), QStringLiteral("-n"),
                                        target.toString()});
    constexpr int kProgramStartMs = 5000;   // starting a small program never takes longer
    if (!ping.waitForStarted(kProgramStartMs))
        return false;
    ping.waitForFinished(timeoutMs + kProgramStartMs);
    if (ping.state() != QProcess::NotRunning) {
        ping.kill();
        ping.waitForFinished();
    }
    const QString text = QString::fromLocal8Bit(ping.readAll());
    constexpr int kPingFailed = 2;   // ping's exit status when it could not send at all
    if (ping.exitStatus() == QProcess::NormalExit && ping.exitCode() == kPingFailed
        && text.contains(QLatin1String("socket")))
        return false;
    static const QRegularExpression reply(QStringLiteral(R"(bytes from ([0-9.]+).*time=([0-9.]+) ms)"));
    static const QRegularExpression error(QStringLiteral(R"(From ([0-9.]+).*(Unreachable|Time to live exceeded))"));
    if (const auto m = reply.match(text); m.hasMatch()) {
        out->kind = EchoOutcome::Reply;
        out->from = m.captured(1);
        out->ms = int(m.captured(2).toDouble());
    } else if (const auto e = error.match(text); e.hasMatch()) {
        out->kind = e.captured(2) == QLatin1String("Unreachable") ? EchoOutcome::Unreachable : EchoOutcome::TtlExpired;
        out->from = e.captured(1);
    } else if (ping.exitStatus() == QProcess::NormalExit && ping.exitCode() == 1) {
        out->kind = EchoOutcome::TimedOut;   // ping's answer for "sent, nothing came back"
    } else {
        out->kind = EchoOutcome::Error;
    }
    return true;
}

} // namespace

EchoOutcome icmpEcho(const QString &address, int ttl, int timeoutMs)
{
    const QHostAddress target = resolve(address);
    EchoOutcome out;
    if (socketEcho(SOCK_DGRAM, target, ttl, timeoutMs, &out) || socketEcho(SOCK_RAW, target, ttl, timeoutMs, &out)
        || programEcho(target, ttl, timeoutMs, &out))
        return out;
    throw IcmpEchoError("Ping: no way to send an ICMP echo: the ICMP datagram socket is refused "
                        "(see /proc/sys/net/ipv4/ping_group_range), a raw socket needs root or "
                        "cap_net_raw, and the system's ping program cannot be started.");
}
#endif

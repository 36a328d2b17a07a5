// Figures of the link engine, each as a ratio measured side by side:
//  1. CPU seconds per second waited by a request that nobody answers;
//  2. Crc32Update against zlib's crc32;
//  3. request round trips over loopback UDP against a plain blocking
//     sendto/recvfrom loop, both against the same acknowledging peer thread.
#include "common/link_peer.h"
#include "common/recorder_panel.h"
#include "link/crc32.h"
#include "link/kxtest.h"
#include "platform/serial_port.h"
#include "platform/udp_socket.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <chrono>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <zlib.h>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kRoundTrips = 3000;         // requests per round-trip run
constexpr int kUploadBytes = 1024;        // data bytes of each request (1039-byte frame)
constexpr size_t kCrcBytes = 32u << 20;   // the largest image the flash job checksums
const char *kPc = "127.0.0.1";
const char *kBox = "127.0.0.2";

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double threadCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::unique_ptr<kx_context> session(Panel *panel)
{
    auto ctx = std::make_unique<kx_context>();
    ctx->io.panel = panel;
    kxtest_init(ctx.get());
    ctx->link_state = 1;
    return ctx;
}

// A UDP session on 127.0.0.1:19288 talking to the box on 127.0.0.2.
struct UdpSession {
    RecorderPanel panel;
    UdpSocket socket;
    std::unique_ptr<kx_context> ctx = session(&panel);
    bool open()
    {
        panel.boxIp = QString::fromLatin1(kBox);
        socket.setLocalHost(QString::fromLatin1(kPc));
        socket.setLocalPort(QString::number(KX_PORT));
        if (!socket.setBound(true))
            return false;
        QObject::connect(&socket, &UdpSocket::dataAvailable, &socket, [this] { udpfdDataAvailable(ctx.get()); });
        ctx->io.udp = &socket;
        ctx->use_net = 1;
        ctx->transport = 1;
        kxtest_parse_ip(panel.boxIp, ctx->box_ip);
        return true;
    }
};

void silentWait(const char *transport, const std::function<bool(kx_context *&, LinkPeer &)> &wire)
{
    LinkPeer peer;
    kx_context *ctx = nullptr;
    if (!wire(ctx, peer)) {
        std::printf("  %s: cannot set up the transport\n", transport);
        return;
    }
    peer.start({});
    uint8_t frame[KX_SMALL_FRAME];
    kxtest_build_nop(ctx, frame, sizeof frame);
    const double cpu0 = threadCpuSeconds();
    const auto t0 = Clock::now();
    const int32_t r = kxtest_request(ctx, frame, sizeof frame, -1);
    const double wall = seconds(t0, Clock::now());
    const double cpu = threadCpuSeconds() - cpu0;
    peer.stop();
    std::printf("  %-6s request answered %d after %.2f s, %d transmissions, CPU %.4f s: %.4f CPU s per s waited (target <= 0.02)\n",
                transport, r, wall, peer.frameCount(), cpu, cpu / wall);
}

void cpuOfSilentWait()
{
    std::printf("CPU of a request whose peer never answers (7 transmissions, reply_timeout 1 s)\n");
    RecorderPanel serialPanel;
    SerialPort port;
    auto serialCtx = session(&serialPanel);
    silentWait("serial", [&](kx_context *&ctx, LinkPeer &peer) {
        const std::string path = peer.openPty();
        port.setPortName(QString::fromStdString(path));
        if (path.empty() || !port.open())
            return false;
        serialCtx->io.serial = &port;
        ctx = serialCtx.get();
        return true;
    });
    UdpSession udp;
    silentWait("UDP", [&](kx_context *&ctx, LinkPeer &peer) {
        if (!peer.openUdp(kBox, KX_PORT) || !udp.open())
            return false;
        ctx = udp.ctx.get();
        return true;
    });
}

void crcRate()
{
    std::vector<uint8_t> data(kCrcBytes);
    QRandomGenerator rng(7);
    rng.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
    double ours = 0, zlibs = 0;
    uint32_t a = 0, b = 0;
    for (int round = 0; round < 3; ++round) {
        auto t0 = Clock::now();
        a = crc32Of(data.data(), data.size());
        auto t1 = Clock::now();
        b = uint32_t(crc32(0, data.data(), uInt(data.size())));
        auto t2 = Clock::now();
        ours = std::max(ours, kCrcBytes / 1e6 / seconds(t0, t1));
        zlibs = std::max(zlibs, kCrcBytes / 1e6 / seconds(t1, t2));
    }
    std::printf("CRC-32 over 32 MB: Crc32Update %.0f MB/s, zlib crc32 %.0f MB/s: ratio %.2f (target >= 1.0)%s\n",
                ours, zlibs, ours / zlibs, a == ~b ? "" : "  RESULTS DIFFER");
}

double engineRoundTrips()
{
    UdpSession s;
    LinkPeer peer;
    if (!peer.openUdp(kBox, KX_PORT) || !s.open())
        return 0;
    peer.start([](const Bytes &f, int) { return peerAck(f[5], 0); });
    std::vector<uint8_t> data(kUploadBytes, 0x5A), frame(kUploadBytes + 15);
    int failures = 0;
    const auto t0 = Clock::now();
    for (int i = 0; i < kRoundTrips; ++i) {
        kxtest_build_upload(s.ctx.get(), frame.data(), int(frame.size()), i * kUploadBytes, data.data(), kUploadBytes);
        failures += kxtest_request(s.ctx.get(), frame.data(), int(frame.size()), -1) != 0;
    }
    const double rate = kRoundTrips / seconds(t0, Clock::now());
    peer.stop();
    if (failures)
        std::printf("  (%d engine requests failed)\n", failures);
    return rate;
}

double plainRoundTrips()
{
    LinkPeer peer;
    if (!peer.openUdp(kBox, KX_PORT))
        return 0;
    peer.start([](const Bytes &f, int) { return peerAck(f[5], 0); });
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in me{}, box{};
    me.sin_family = box.sin_family = AF_INET;
    me.sin_port = box.sin_port = htons(KX_PORT);
    ::inet_pton(AF_INET, kPc, &me.sin_addr);
    ::inet_pton(AF_INET, kBox, &box.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&me), sizeof me) != 0) {
        ::close(fd);
        return 0;
    }
    RecorderPanel panel;
    auto ctx = session(&panel);
    std::vector<uint8_t> data(kUploadBytes, 0x5A), frame(kUploadBytes + 15);
    uint8_t answer[KX_RXBUF_SIZE];
    const auto t0 = Clock::now();
    for (int i = 0; i < kRoundTrips; ++i) {
        const int len = kxtest_build_upload(ctx.get(), frame.data(), int(frame.size()), i * kUploadBytes, data.data(), kUploadBytes);
        ::sendto(fd, frame.data(), size_t(len), 0, reinterpret_cast<sockaddr *>(&box), sizeof box);
        while (::recv(fd, answer, sizeof answer, 0) < 6 || answer[5] != frame[5]) {
        }
    }
    const double rate = kRoundTrips / seconds(t0, Clock::now());
    ::close(fd);
    peer.stop();
    return rate;
}

void roundTrips()
{
    double engine = 0, plain = 0;
    for (int round = 0; round < 2; ++round) {
        engine = std::max(engine, engineRoundTrips());
        plain = std::max(plain, plainRoundTrips());
    }
    std::printf("Round trips over loopback UDP (1039-byte request, 11-byte answer): engine %.0f/s, "
                "plain sendto/recvfrom %.0f/s: ratio %.2f (target >= 0.9)\n", engine, plain, plain > 0 ? engine / plain : 0);
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    cpuOfSilentWait();
    crcRate();
    roundTrips();
    return 0;
}

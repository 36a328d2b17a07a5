// The request engine and the attach sequence against a scripted box: over a
// real pseudo-terminal (SerialPort on the slave side) and over loopback UDP
// (the PC on 127.0.0.1:19288, the box on 127.0.0.2:19288).
#include "common/link_peer.h"
#include "common/recorder_panel.h"
#include "link/kxtest.h"
#include "link/kxtest_log.h"
#include "platform/serial_port.h"
#include "platform/udp_socket.h"

#include <QRegularExpression>
#include <QtTest>
#include <memory>

namespace {
const char *kPcAddress = "127.0.0.1";
const char *kBoxAddress = "127.0.0.2";
const char *kStrangerAddress = "127.0.0.3";

// The log's lines without their time stamps.
QStringList logLines(const QString &log)
{
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
    QStringList lines = log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (QString &l : lines)
        l.remove(stamp);
    return lines;
}

QByteArray hex(const Bytes &b) { return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size())).toHex(' '); }
}

class TestLinkEngine : public QObject {
    Q_OBJECT

    RecorderPanel panel;
    std::unique_ptr<SerialPort> serial;
    std::unique_ptr<UdpSocket> udp;
    std::unique_ptr<kx_context> ctx;
    std::unique_ptr<LinkPeer> peer;

    // A fresh session wired to the panel; the transports are added per case.
    void freshSession()
    {
        ctx = std::make_unique<kx_context>();
        ctx->io.panel = &panel;
        kxtest_init(ctx.get());
        panel = RecorderPanel();
        DebugLevel = 1;
    }

    void serialPeer(PeerScript script)
    {
        peer = std::make_unique<LinkPeer>();
        const std::string path = peer->openPty();
        QVERIFY2(!path.empty(), "no pseudo-terminal available");
        serial = std::make_unique<SerialPort>();
        serial->setPortName(QString::fromStdString(path));
        QVERIFY2(serial->open(), qPrintable(serial->errorText()));
        ctx->io.serial = serial.get();
        peer->start(std::move(script));
    }

    void udpPeer(PeerScript script)
    {
        peer = std::make_unique<LinkPeer>();
        QVERIFY2(peer->openUdp(kBoxAddress, KX_PORT), "cannot bind 127.0.0.2:19288");
        peer->setUdpTarget(kPcAddress, KX_PORT);
        udp = std::make_unique<UdpSocket>();
        udp->setLocalHost(QString::fromLatin1(kPcAddress));
        udp->setLocalPort(QString::number(KX_PORT));
        QVERIFY2(udp->setBound(true), qPrintable(udp->errorText()));
        QObject::connect(udp.get(), &UdpSocket::dataAvailable, udp.get(), [this] { udpfdDataAvailable(ctx.get()); });
        ctx->io.udp = udp.get();
        ctx->use_net = 1;
        ctx->transport = 1;
        ctx->link_state = 1;
        kxtest_parse_ip(QString::fromLatin1(kBoxAddress), ctx->box_ip);
        panel.boxIp = QString::fromLatin1(kBoxAddress);
        peer->start(std::move(script));
    }

private slots:
    void cleanup()
    {
        if (peer)
            peer->stop();
        peer.reset();
        serial.reset();
        udp.reset();
        DebugLevel = 0;
    }

    // A silent box: seven transmissions about a second apart, then -1.
    void unansweredRequestGivesUpAfterSevenTransmissions()
    {
        freshSession();
        serialPeer({});
        uint8_t frame[KX_SMALL_FRAME];
        kxtest_build_nop(ctx.get(), frame, sizeof frame);
        QCOMPARE(kxtest_request(ctx.get(), frame, sizeof frame, -1), -1);
        QTRY_COMPARE(peer->frameCount(), 7);
        QStringList expected;
        for (int i = 1; i <= 7; ++i)
            expected << QStringLiteral("server: retry  %1").arg(i);
        expected << QStringLiteral("timeout resending packets..");
        QCOMPARE(logLines(panel.log), expected);
        for (const Bytes &f : peer->frames())
            QCOMPARE(hex(f), QByteArray("4b 58 00 07 04 01 11"));
    }

    void answerInTheThirdWaitEndsTheRequest()
    {
        freshSession();
        udpPeer([](const Bytes &f, int index) { return index == 2 ? peerAck(f[5], 4711) : Bytes{}; });
        uint8_t frame[KX_SMALL_FRAME];
        kxtest_build_calccrc32(ctx.get(), frame, sizeof frame, 0x100000, 0x2000);
        QCOMPARE(kxtest_request(ctx.get(), frame, sizeof frame, -1), 4711);
        QCOMPARE(peer->frameCount(), 3);
        QCOMPARE(logLines(panel.log), QStringList({"server: retry  1", "server: retry  2"}));
    }

    void stoppedLinkSendsNothing()
    {
        freshSession();
        serialPeer([](const Bytes &f, int) { return peerAck(f[5], 0); });
        ctx->link_state = -1;
        uint8_t frame[KX_SMALL_FRAME];
        kxtest_build_nop(ctx.get(), frame, sizeof frame);
        QCOMPARE(kxtest_request(ctx.get(), frame, sizeof frame, -1), -1);
        QTest::qWait(50);
        QCOMPARE(peer->frameCount(), 0);
        QCOMPARE(panel.log, QString());
    }

    // The discover arrives in a serial receive event; the attach request and
    // the Ping wait nested inside it, where Qt emits no further readyRead.
    void discoverAttachesInSerialMode()
    {
        freshSession();
        serialPeer([](const Bytes &f, int) {
            return f[4] == KX_OP_NOP ? peerAck(f[5], KX_NOP_ANSWER) : peerAck(f[5], 0);
        });
        QObject::connect(serial.get(), &SerialPort::rxChar, serial.get(),
                         [this](int n) { kxtest_serial_receive(ctx.get(), n); });
        panel.onPing = [this] {
            uint8_t nop[KX_SMALL_FRAME];
            kxtest_build_nop(ctx.get(), nop, sizeof nop);
            ctx->link_state = kxtest_request(ctx.get(), nop, sizeof nop, -1) == KX_NOP_ANSWER ? 1 : 0;
        };
        server_ip_is(ctx.get(), {192, 168, 0, 1});
        peer->send(peerFrame(KX_OP_DISCOVER, 0x01, {0xC2, 0x00, 0x02, 0x4B, 0x7D, 0x11, 0x22, 0x33, 10, 0, 0, 2}));
        QTRY_VERIFY_WITH_TIMEOUT(panel.calls.contains(QStringLiteral("enable:1")), 5000);

        // The frame was peerFrame(0, 1, ...): byte 5 is the baud rate's high byte.
        QVERIFY(logLines(panel.log).contains(QStringLiteral("server: got discover packet, ip 10.0.0.2, baud 115200")));
        const auto frames = peer->frames();
        QCOMPARE(frames.size(), size_t(2));
        const Bytes attach = peerFrame(KX_OP_ATTACH, 0, {0x01, 0xC2, 0x00, 0x02, 0x4B, 0x7D, 0x00, 0x00, 0xFF,
                                                          10, 0, 0, 2, 192, 168, 0, 1});
        QCOMPARE(hex(frames[0]), hex(attach));
        QCOMPARE(frames[1][4], uint8_t(KX_OP_NOP));
        QCOMPARE(ctx->link_state, 1);
        QCOMPARE(ctx->transport, 0);
        QCOMPARE(panel.status, QStringLiteral("Box attached and ready"));
        QVERIFY(panel.calls.contains(QStringLiteral("status:attached box, wating for 2nd acknowledge")));
    }

    // The operator disconnects while the attach's Ping waits: the attach must
    // not announce a ready box afterwards, nor ping the stopped link again.
    void disconnectDuringAttachPingShowsNoSuccess()
    {
        freshSession();
        serialPeer([](const Bytes &f, int) { return f[4] == KX_OP_NOP ? Bytes{} : peerAck(f[5], 0); });
        QObject::connect(serial.get(), &SerialPort::rxChar, serial.get(),
                         [this](int n) { kxtest_serial_receive(ctx.get(), n); });
        int pings = 0;
        panel.onPing = [this, &pings] {
            ++pings;
            kxtest_init(ctx.get());          // what Disconnect does
            ctx->link_state = -1;
            panel.status.clear();
        };
        peer->send(peerFrame(KX_OP_DISCOVER, 0x01, {0xC2, 0x00, 0x02, 0x4B, 0x7D, 0x11, 0x22, 0x33, 10, 0, 0, 2}));
        QTRY_VERIFY_WITH_TIMEOUT(panel.calls.contains(QStringLiteral("enable:1")), 5000);
        QCOMPARE(pings, 1);
        QCOMPARE(ctx->link_state, -1);
        QCOMPARE(panel.status, QString());
    }

    // Datagrams are the network's word: only the box's, and only whole frames.
    void untrustedDatagrams_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("answered");
        const Bytes nop = peerFrame(KX_OP_NOP, 1, {});
        auto bytes = [](const Bytes &b) { return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size())); };
        QByteArray withTail = bytes(nop) + QByteArray("tail");
        QByteArray tooLong = bytes(nop);
        tooLong[3] = 40;
        QByteArray tooShort = bytes(nop);
        tooShort[3] = 4;
        QTest::newRow("stranger") << kStrangerAddress << bytes(nop)
                                  << "server: ignoring datagram from 127.0.0.3, not from the box" << false;
        QTest::newRow("length beyond datagram") << kBoxAddress << tooLong
                                  << "server: ignoring datagram of 7 bytes with length field 40" << false;
        QTest::newRow("length below 5") << kBoxAddress << tooShort
                                  << "server: ignoring datagram of 7 bytes with length field 4" << false;
        QTest::newRow("trailing bytes ignored") << kBoxAddress << withTail << QString() << true;
    }
    void untrustedDatagrams()
    {
        QFETCH(QString, from);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, line);
        QFETCH(bool, answered);
        freshSession();
        udpPeer({});
        ctx->seq_in = 1;
        LinkPeer stranger;
        const bool fromBox = from == QLatin1String(kBoxAddress);
        if (!fromBox)
            QVERIFY(stranger.openUdp(qPrintable(from), KX_PORT));
        LinkPeer &out = fromBox ? *peer : stranger;
        out.setUdpTarget(kPcAddress, KX_PORT);
        out.send(Bytes(datagram.begin(), datagram.end()));
        pollUntil([&] { return !panel.log.isEmpty() || peer->frameCount() > 0; });
        if (answered) {
            QTRY_COMPARE(peer->frameCount(), 1);
            QCOMPARE(hex(peer->frames()[0]), hex(peerAck(1, KX_NOP_ANSWER)));
        } else {
            QCOMPARE(logLines(panel.log), QStringList(line));
            QCOMPARE(ctx->seq_in, uint8_t(1));
            QCOMPARE(peer->frameCount(), 0);
        }
    }

private:
    void pollUntil(const std::function<bool()> &done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 2000) {
            kxtest_poll(ctx.get());
            QTest::qWait(2);
        }
    }
    static void server_ip_is(kx_context *c, std::array<uint8_t, 4> ip) { std::copy(ip.begin(), ip.end(), c->server_ip); }
};

QTEST_GUILESS_MAIN(TestLinkEngine)
#include "test_link_engine.moc"

// The receive side: rings, frame assembler, dispatcher and handlers, transport
// error lines and the send trace. Acknowledgements go out through a real
// SerialPort on a pseudo-terminal and are read back on its far side.
#include "common/link_peer.h"
#include "common/recorder_panel.h"
#include "link/kxtest.h"
#include "link/kxtest_log.h"
#include "platform/serial_port.h"
#include "platform/udp_socket.h"

#include <QtTest>
#include <functional>
#include <memory>

namespace {
QByteArray hex(const Bytes &b) { return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size())).toHex(' '); }
Bytes bytesOf(const QByteArray &hexText) { const QByteArray b = QByteArray::fromHex(hexText); return Bytes(b.begin(), b.end()); }
QByteArray ackHex(uint8_t seq, int32_t value) { return hex(peerAck(seq, value)); }
QByteArray frameHex(uint8_t op, uint8_t seq, const Bytes &payload = {}) { return hex(peerFrame(op, seq, payload)); }
Bytes be32(int32_t v) { return {uint8_t(uint32_t(v) >> 24), uint8_t(uint32_t(v) >> 16), uint8_t(uint32_t(v) >> 8), uint8_t(v)}; }
QString withoutStamps(QString log)
{
    static const QRegularExpression stamp(QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
    return log.remove(stamp);
}
Bytes cat(Bytes a, const Bytes &b) { a.insert(a.end(), b.begin(), b.end()); return a; }

// A panel whose repaint runs a test step: the progress handler repaints, so a
// frame dispatched there is dispatched nested in the progress frame's handling.
class PumpingPanel : public RecorderPanel {
public:
    std::function<void()> onRepaint;
    void repaint() override { if (onRepaint) { auto f = std::move(onRepaint); f(); } }
};
}

class TestLinkReceive : public QObject {
    Q_OBJECT
    PumpingPanel panel;
    std::unique_ptr<LinkPeer> far;
    std::unique_ptr<SerialPort> serial;
    std::unique_ptr<kx_context> ctx;

    // Frames the engine sent on the serial line, in hexadecimal.
    QList<QByteArray> sentFrames()
    {
        QList<QByteArray> out;
        Bytes b = far->receive(100);
        while (b.size() >= 4) {
            const size_t len = size_t(b[2]) << 8 | b[3];
            if (len < 5 || len > b.size())
                break;
            out << hex(Bytes(b.begin(), b.begin() + long(len)));
            b.erase(b.begin(), b.begin() + long(len));
        }
        return out;
    }

    // Bytes from the far side into the serial ring, through the port, in
    // pieces small enough for the pseudo-terminal's buffer.
    void arrive(const Bytes &bytes)
    {
        constexpr size_t kPiece = 1024;
        for (size_t pos = 0; pos < bytes.size(); pos += kPiece) {
            const Bytes piece(bytes.begin() + long(pos), bytes.begin() + long(std::min(bytes.size(), pos + kPiece)));
            far->send(piece);
            QTRY_VERIFY(serial->bytesAvailable() >= qint64(piece.size()));
            ser_readin(ctx.get(), int(serial->bytesAvailable()));
        }
    }

    void feed(const Bytes &bytes)
    {
        for (uint8_t b : bytes)
            kxtest_rx_byte(ctx.get(), b);
    }

    void dispatch(const Bytes &frame)
    {
        uint8_t buf[KX_RXBUF_SIZE] = {};
        std::copy(frame.begin(), frame.end(), buf);
        kxtest_rx_frame(ctx.get(), buf, KX_FRAME_MAX, 0);
    }

private slots:
    void init()
    {
        panel = PumpingPanel();
        far = std::make_unique<LinkPeer>();
        const std::string path = far->openPty();
        QVERIFY2(!path.empty(), "no pseudo-terminal available");
        serial = std::make_unique<SerialPort>();
        serial->setPortName(QString::fromStdString(path));
        QVERIFY2(serial->open(), qPrintable(serial->errorText()));
        ctx = std::make_unique<kx_context>();
        ctx->io.panel = &panel;
        ctx->io.serial = serial.get();
        kxtest_init(ctx.get());
        ctx->link_state = 1;
        ctx->seq_in = 1;
        DebugLevel = 1;
    }
    void cleanup() { serial.reset(); far.reset(); DebugLevel = 0; }

    void ringsStartEmpty()
    {
        ctx->ser_pending = ctx->udp_pending = 1;
        uint8_t b, d[KX_RXBUF_SIZE];
        QVERIFY(!kxtest_take_byte(ctx.get(), &b));
        QVERIFY(!kxtest_take_datagram(ctx.get(), d));
        QCOMPARE(ctx->ser_pending, uint8_t(0));
        QCOMPARE(ctx->udp_pending, uint8_t(0));
    }

    void serialRingWrapsInArrivalOrder()
    {
        ctx->ser_tail = KX_SER_RING_SIZE - 12;
        ctx->ser_head = KX_SER_RING_SIZE - 11;
        Bytes sent(30);
        for (int i = 0; i < 30; ++i)
            sent[size_t(i)] = uint8_t(100 + i);
        arrive(sent);
        QCOMPARE(ctx->ser_head, 19);
        Bytes got;
        uint8_t b;
        while (kxtest_take_byte(ctx.get(), &b))
            got.push_back(b);
        QCOMPARE(hex(got), hex(sent));
        QCOMPARE(panel.log, QString());
    }

    // 20480 unread bytes fit; the next one overwrites the byte taken last.
    void serialRingOverflow()
    {
        uint8_t b;
        arrive({1});
        QVERIFY(kxtest_take_byte(ctx.get(), &b));
        arrive(Bytes(KX_SER_RING_SIZE - 1, 0x55));
        QCOMPARE(panel.log, QString());
        arrive({2});
        QCOMPARE(panel.log, QStringLiteral("PANIC, SER BUFFER OVERFLOW 0!\r\n"));
        QVERIFY(!kxtest_take_byte(ctx.get(), &b));
    }

    // After a take nine datagrams wait; the tenth overflows. A flush empties the
    // UDP ring only in network mode.
    void udpRingOverflowAndFlush()
    {
        UdpSocket socket;
        socket.setLocalHost(QStringLiteral("127.0.0.5"));
        socket.setLocalPort(QString::number(KX_PORT));
        QVERIFY2(socket.setBound(true), qPrintable(socket.errorText()));
        LinkPeer box;
        QVERIFY(box.openUdp("127.0.0.6", KX_PORT));
        box.setUdpTarget("127.0.0.5", KX_PORT);
        ctx->io.udp = &socket;
        const uint8_t boxIp[4] = {127, 0, 0, 6};
        memcpy(ctx->box_ip, boxIp, 4);
        auto deliver = [&](int n) {
            for (int i = 0; i < n; ++i) {
                box.send(peerFrame(KX_OP_NOP, uint8_t(i), {}));
                QTRY_VERIFY(socket.hasPendingDatagram());
                udpfdDataAvailable(ctx.get());
            }
        };
        uint8_t d[KX_RXBUF_SIZE];
        deliver(1);
        QVERIFY(kxtest_take_datagram(ctx.get(), d));
        deliver(9);
        QCOMPARE(panel.log, QString());
        deliver(1);
        QCOMPARE(panel.log, QStringLiteral("PANIC, UDP BUFFER OVERFLOW 0!\r\n"));
        QVERIFY(!kxtest_take_datagram(ctx.get(), d));

        deliver(2);
        arrive({1, 2, 3});
        kxtest_flush(ctx.get());
        uint8_t b;
        QVERIFY(!kxtest_take_byte(ctx.get(), &b));
        ctx->use_net = 1;
        kxtest_flush(ctx.get());
        QVERIFY(!kxtest_take_datagram(ctx.get(), d));
        int len = 0;
        deliver(1);
        QVERIFY(kxtest_take_datagram(ctx.get(), d, &len));
        QCOMPARE(len, 7);
    }

    void assembler_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("log");       // the memo, time stamps removed
        QTest::addColumn<QList<QByteArray>>("acks");
        const QByteArray nop = frameHex(KX_OP_NOP, 1);
        QTest::newRow("junk before a frame") << "41 42 " + nop << "AB" << QList<QByteArray>{ackHex(1, KX_NOP_ANSWER)};
        QTest::newRow("length high byte 0x20") << QByteArray("4b 58 20") + " " + nop
            << "server: ignoring packet, >= 0x2000 bytes.\r\n " << QList<QByteArray>{ackHex(1, KX_NOP_ANSWER)};
        // Length 5: the opcode byte is also the checksum; sequence reads as 0.
        QTest::newRow("length 5 completes") << QByteArray("4b 58 00 05 16")
            << "server: wrong sequence.. (mine is 0, remote says 1)\r\n" << QList<QByteArray>{ackHex(0, 0)};
        QTest::newRow("length 4 never completes") << QByteArray("4b 58 00 04 17") << "" << QList<QByteArray>{};
        QTest::newRow("oversized") << QByteArray("4b 58 09 00 ") + QByteArray(2045, 'x').toHex(' ')
            << "server: ignoring oversized packet\r\nx" << QList<QByteArray>{};
        QTest::newRow("checksum error") << QByteArray("4b 58 00 07 04 01 12") << "" << QList<QByteArray>{};
    }
    void assembler()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, log);
        QFETCH(QList<QByteArray>, acks);
        DebugLevel = 2;
        ctx->seq_in = 1;
        feed(bytesOf(input));
        QString memo = withoutStamps(panel.log);
        memo.remove(QRegularExpression(QStringLiteral("server: received packet with OpCode \\d+\r\n")));
        QCOMPARE(memo, log);
        QCOMPARE(sentFrames(), acks);
        QCOMPARE(ctx->rx_pos, 0);
    }

    void damagedFrameLogsAtLevel3()
    {
        DebugLevel = 3;
        dispatch(bytesOf("4b 58 00 07 04 01 12"));
        QVERIFY(panel.log.endsWith(QStringLiteral("4B 58 00 07 04 01 12 \r\nchecksum error\r\n")));
        QVERIFY(sentFrames().isEmpty());
    }

    // A pause of more than 500 ms after the first byte drops the partial
    // frame; the 0x4B after the pause starts a new one.
    void staleFrameIsDropped()
    {
        const Bytes nop = peerFrame(KX_OP_NOP, 1, {});
        feed(Bytes(nop.begin(), nop.begin() + 3));
        ctx->rx_start -= 600;
        feed(nop);
        QCOMPARE(sentFrames(), QList<QByteArray>{ackHex(1, KX_NOP_ANSWER)});
    }

    void onePollHandlesOneFrame()
    {
        far->send(cat(peerFrame(KX_OP_NOP, 1, {}), peerFrame(KX_OP_NOP, 2, {})));
        QTRY_VERIFY(serial->bytesAvailable() >= 14);
        kxtest_poll(ctx.get());
        QCOMPARE(ctx->seq_in, uint8_t(2));
        kxtest_poll(ctx.get());
        QCOMPARE(ctx->seq_in, uint8_t(3));
        QCOMPARE(sentFrames(), (QList<QByteArray>{ackHex(1, KX_NOP_ANSWER), ackHex(2, KX_NOP_ANSWER)}));
    }

    void dispatch_data()
    {
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QList<QByteArray>>("acks");
        QTest::addColumn<QString>("line");
        QTest::newRow("in order, then repeated") << QList<QByteArray>{frameHex(4, 1), frameHex(4, 1)}
            << QList<QByteArray>{ackHex(1, KX_NOP_ANSWER), ackHex(1, KX_NOP_ANSWER)}
            << "server: wrong sequence.. (mine is 1, remote says 2)";
        QTest::newRow("unknown opcode") << QList<QByteArray>{frameHex(9, 1)} << QList<QByteArray>{ackHex(1, -1)}
            << "unknown packet, type 9";
        QTest::newRow("detach") << QList<QByteArray>{frameHex(2, 1)} << QList<QByteArray>{ackHex(1, 0)} << "";
        QTest::newRow("attach from the box") << QList<QByteArray>{frameHex(1, 7)} << QList<QByteArray>{ackHex(7, -1)} << "";
        QTest::newRow("download request keeps result") << QList<QByteArray>{frameHex(6, 1, cat(be32(0), be32(4)))}
            << QList<QByteArray>{ackHex(1, 42)} << "server: process kxtest_process_download";
        QTest::newRow("progress") << QList<QByteArray>{frameHex(14, 1, be32(1234))} << QList<QByteArray>{ackHex(1, 0)} << "";
        QTest::newRow("ack of another number") << QList<QByteArray>{frameHex(3, 9, be32(77))} << QList<QByteArray>{} << "";
    }
    void dispatch()
    {
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QList<QByteArray>, acks);
        QFETCH(QString, line);
        ctx->result = 42;
        ctx->seq_out = 3;
        for (const QByteArray &f : frames)
            dispatch(bytesOf(f));
        QCOMPARE(sentFrames(), acks);
        QCOMPARE(withoutStamps(panel.log), line.isEmpty() ? QString() : line + QStringLiteral("\r\n"));
        const uint8_t op = bytesOf(frames[0])[4];
        QCOMPARE(ctx->link_state, op == KX_OP_DETACH ? 0 : 1);
        if (op == KX_OP_PROGRESS)
            QCOMPARE(panel.progPos, 1234);
        if (op == KX_OP_ATTACH)
            QCOMPARE(ctx->seq_out, uint8_t(0));
        if (op == KX_OP_ACK) {
            QCOMPARE(ctx->seq_acked, uint8_t(9));
            QCOMPARE(ctx->result, 77);
        }
    }

    // The frame says where its data goes: only blocks inside dl_buffer and
    // inside their frame are stored; each is acknowledged with 0.
    void dataBlocks_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("countField");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<int>("progress");
        QTest::addColumn<QString>("line");
        QTest::newRow("at 20480") << 20480 << 16 << true << 20480 << "";
        QTest::newRow("at 1024") << 1024 << 16 << true << 0 << "";
        QTest::newRow("runs past the end") << 30720 - 8 << 16 << false << 0
            << "server: data block at 0x000087F8 (16 bytes) lies outside the download buffer";
        QTest::newRow("before the start") << -16 << 16 << false << 0
            << "server: data block at 0x00000FF0 (16 bytes) lies outside the download buffer";
        QTest::newRow("claims more than its frame") << 0 << 100 << false << 0
            << "server: data block at 0x00001000 claims 100 bytes, frame holds 16";
        QTest::newRow("negative count") << 0 << -1 << false << 0
            << "server: data block at 0x00001000 claims -1 bytes, frame holds 16";
    }
    void dataBlocks()
    {
        QFETCH(int, offset);
        QFETCH(int, countField);
        QFETCH(bool, stored);
        QFETCH(int, progress);
        QFETCH(QString, line);
        ctx->dl_base = 0x1000;
        ctx->dl_size = 30720;
        ctx->dl_buffer.assign(30720, 0);
        const Bytes data(16, 0xA5);
        dispatch(peerFrame(KX_OP_UPLOAD, 1, cat(cat(be32(0x1000 + offset), be32(countField)), data)));
        QCOMPARE(sentFrames(), QList<QByteArray>{ackHex(1, 0)});
        QCOMPARE(panel.progPos, progress);
        QCOMPARE(panel.panels[2], progress ? QStringLiteral(" Bytes=%1").arg(progress) : QString());
        const size_t written = size_t(std::count(ctx->dl_buffer.begin(), ctx->dl_buffer.end(), 0xA5));
        QCOMPARE(written, stored ? size_t(16) : size_t(0));
        if (stored)
            QCOMPARE(ctx->dl_buffer[size_t(offset)], uint8_t(0xA5));
        QCOMPARE(withoutStamps(panel.log).trimmed(), line);
    }

    // Fields beyond a short frame read as 0, never as what the buffer holds.
    void shortFrameReadsNoGarbage()
    {
        uint8_t buf[KX_RXBUF_SIZE];
        memset(buf, 0xEE, sizeof buf);
        const Bytes progress = peerFrame(KX_OP_PROGRESS, 1, {0x12});
        std::copy(progress.begin(), progress.end(), buf);
        kxtest_rx_frame(ctx.get(), buf, KX_FRAME_MAX, 0);
        QCOMPARE(panel.progPos, int(0x12000000u | uint32_t(progress.back()) << 16));
    }

    // A box request dispatched while another is handled: reported, handled,
    // and a repeat in that moment is acknowledged one number lower.
    void nestedDispatch_data()
    {
        QTest::addColumn<QByteArray>("nested");
        QTest::addColumn<QList<QByteArray>>("acks");
        QTest::addColumn<QString>("line");
        QTest::newRow("next request") << frameHex(4, 2)
            << QList<QByteArray>{ackHex(2, KX_NOP_ANSWER), ackHex(1, 0)}
            << "server: fatal error, already processing (should: 4)\r\n\r\n";
        QTest::newRow("repeat") << frameHex(4, 1) << QList<QByteArray>{ackHex(0, 0), ackHex(1, 0)}
            << "server: wrong sequence.. (mine is 1, remote says 2)\r\n";
    }
    void nestedDispatch()
    {
        QFETCH(QByteArray, nested);
        QFETCH(QList<QByteArray>, acks);
        QFETCH(QString, line);
        panel.onRepaint = [&] { dispatch(bytesOf(nested)); };
        dispatch(peerFrame(KX_OP_PROGRESS, 1, be32(5)));
        QCOMPARE(sentFrames(), acks);
        QCOMPARE(withoutStamps(panel.log), line);
        QCOMPARE(ctx->busy, 0);
    }

    void comPortErrorLines_data()
    {
        QTest::addColumn<uint>("bits");
        QTest::addColumn<QString>("log");
        QTest::newRow("none") << 0u << "";
        QTest::newRow("framing and parity") << uint(SerialPort::Framing | SerialPort::Parity)
            << "COM: The hardware detected a framing error.\r\nCOM: The hardware detected a parity error.\r\n";
        QTest::newRow("overrun before parity") << uint(SerialPort::Parity | SerialPort::Overrun)
            << "COM: A charachter buffer overrun has occured. The next charachter is lost.\r\n"
               "COM: The hardware detected a parity error.\r\n";
        QTest::newRow("rest in order") << uint(SerialPort::Break | SerialPort::IoError | SerialPort::ModeNotSupported
                                               | SerialPort::InputOverflow | SerialPort::OutputFull)
            << "COM: The hardware detected a break condition.\r\n"
               "COM: An I/O error occured during communication with the device.\r\n"
               "COM: The requested mode is not supported.\r\n"
               "COM: An input buffer overflow has occured.\r\n"
               "COM: The output buffer is full.\r\n";
    }
    void comPortErrorLines()
    {
        QFETCH(uint, bits);
        QFETCH(QString, log);
        ComPortError(ctx.get(), bits);
        QCOMPARE(panel.log, log);
    }

    void sendTrace()
    {
        DebugLevel = 4;
        uint8_t nop[KX_SMALL_FRAME];
        kxtest_build_nop(ctx.get(), nop, sizeof nop);
        kxtest_send_packet(ctx.get(), nop, -1);
        QVERIFY2(panel.log.endsWith(QStringLiteral("server: send packet (0) len: 7, seq 0x1 : 4B 58 00 07 04 01 11 \r\n")),
                 qPrintable(panel.log));
        panel.log.clear();
        std::vector<uint8_t> upload(1039), data(1024);
        kxtest_build_upload(ctx.get(), upload.data(), int(upload.size()), 0, data.data(), 1024);
        kxtest_send_packet(ctx.get(), upload.data(), -1);
        QVERIFY2(panel.log.endsWith(QStringLiteral("server: send packet (0) len: 1039, seq 0x2 : \r\n")), qPrintable(panel.log));
        QCOMPARE(far->receive(100).size(), size_t(7 + 1039));
    }
};

QTEST_GUILESS_MAIN(TestLinkReceive)
#include "test_link_receive.moc"

// Frames and builders byte for byte, the checksum, CRC-32 against zlib, the
// dotted-quad parser and the protocol log's rules.
#include "common/recorder_panel.h"
#include "link/crc32.h"
#include "link/kxtest.h"
#include "link/kxtest_log.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>
#include <functional>
#include <memory>
#include <zlib.h>

namespace {
using Builder = std::function<int(kx_context *, uint8_t *)>;
QByteArray hexOf(const uint8_t *p, int n) { return QByteArray(reinterpret_cast<const char *>(p), n).toHex(' '); }
const QString kStamp = QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ");
}
Q_DECLARE_METATYPE(Builder)

class TestLinkFrame : public QObject {
    Q_OBJECT
    std::unique_ptr<kx_context> ctx;

private slots:
    void init()
    {
        ctx = std::make_unique<kx_context>();
        kxtest_init(ctx.get());
        DebugLevel = 0;
        resetTimeFormat();
    }

    void builders_data()
    {
        QTest::addColumn<Builder>("build");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("nop seq 1") << Builder([](kx_context *c, uint8_t *f) { return kxtest_build_nop(c, f, 256); })
                                   << QByteArray("4b 58 00 07 04 01 11");
        QTest::newRow("ack 5 31337") << Builder([](kx_context *c, uint8_t *f) { return kxtest_build_ack(c, f, 256, 5, 31337); })
                                     << QByteArray("4b 58 00 0b 03 05 00 00 7a 69 0d");
        QTest::newRow("attach") << Builder([](kx_context *c, uint8_t *f) {
            const uint8_t hw[] = {0x02, 0x4B, 0x7D, 0x00, 0x00, 0xFF}, box[] = {192, 168, 0, 100}, pc[] = {192, 168, 0, 1};
            memcpy(c->hwaddr, hw, 6); memcpy(c->box_ip, box, 4); memcpy(c->server_ip, pc, 4);
            return kxtest_build_attach(c, f, 256);
        }) << QByteArray("4b 58 00 18 01 00 01 c2 00 02 4b 7d 00 00 ff c0 a8 00 64 c0 a8 00 01 67");
        QTest::newRow("flashlock clear") << Builder([](kx_context *c, uint8_t *f) {
            return kxtest_build_flashlock(c, f, 256, 0, int32_t(0x7F800000), 1);
        }) << QByteArray("4b 58 00 10 0a 01 00 7f 80 00 00 00 00 00 01");
        QTest::newRow("flashcopy flash before ram") << Builder([](kx_context *c, uint8_t *f) {
            return kxtest_build_flashcopy(c, f, 256, 0x1000, 0x2000, 0x300);
        }) << QByteArray("4b 58 00 13 09 01 00 00 10 00 00 00 20 00 00 00 03 00");
        QTest::newRow("download") << Builder([](kx_context *c, uint8_t *f) { return kxtest_build_download(c, f, 256, 0x10, 0x20); })
                                  << QByteArray("4b 58 00 0f 06 01 00 00 00 10 00 00 00 20");
        QTest::newRow("calccrc32") << Builder([](kx_context *c, uint8_t *f) { return kxtest_build_calccrc32(c, f, 256, 0x10, 0x20); })
                                   << QByteArray("4b 58 00 0f 07 01 00 00 00 10 00 00 00 20");
        QTest::newRow("flasherase") << Builder([](kx_context *c, uint8_t *f) { return kxtest_build_flasherase(c, f, 256, -1, 0x20); })
                                    << QByteArray("4b 58 00 0f 08 01 ff ff ff ff 00 00 00 20");
    }
    // Every frame ends in the checksum that makes the XOR of all bytes 0;
    // where the row gives fewer bytes, only the prefix is compared.
    void builders()
    {
        QFETCH(Builder, build);
        QFETCH(QByteArray, expected);
        uint8_t frame[KX_SMALL_FRAME];
        const int length = build(ctx.get(), frame);
        QCOMPARE(length, kxtest_length(frame));
        QCOMPARE(kxtest_checksum(frame), uint8_t(0));
        const QByteArray got = hexOf(frame, length);
        QVERIFY2(got.startsWith(expected.trimmed()), got.constData());
    }

    void uploadFrameOf1024Bytes()
    {
        std::vector<uint8_t> data(1024), frame(1024 + 15);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = uint8_t(i * 7);
        QCOMPARE(kxtest_build_upload(ctx.get(), frame.data(), int(frame.size()), 0x80000000, data.data(), 1024), 1039);
        QCOMPARE(hexOf(frame.data(), 14), QByteArray("4b 58 04 0f 05 01 80 00 00 00 00 00 04 00"));
        QVERIFY(std::equal(data.begin(), data.end(), frame.begin() + 14));
        QCOMPARE(kxtest_checksum(frame.data()), uint8_t(0));
    }

    void sequenceNumbers()
    {
        uint8_t f[KX_SMALL_FRAME];
        kxtest_build_nop(ctx.get(), f, sizeof f);
        QCOMPARE(f[5], uint8_t(1));
        ctx->seq_out = 254;
        kxtest_build_nop(ctx.get(), f, sizeof f);
        QCOMPARE(f[5], uint8_t(255));
        kxtest_build_nop(ctx.get(), f, sizeof f);
        QCOMPARE(f[5], uint8_t(0));
        kxtest_build_ack(ctx.get(), f, sizeof f, 9, 0);
        QCOMPARE(ctx->seq_out, uint8_t(0));
        ctx->seq_in = 7;
        kxtest_build_attach(ctx.get(), f, sizeof f);
        QCOMPARE(ctx->seq_out, uint8_t(0));
        QCOMPARE(ctx->seq_acked, uint8_t(255));
        QCOMPARE(ctx->seq_in, uint8_t(0));
    }

    void everySingleBitFlipIsDetected()
    {
        uint8_t f[KX_SMALL_FRAME];
        const int length = kxtest_build_flashcopy(ctx.get(), f, sizeof f, 0x12345678, -2, 0x7FFF);
        for (int i = 4; i < length; ++i)   // the length bytes decide how much is summed
            for (int bit = 0; bit < 8; ++bit) {
                f[i] ^= uint8_t(1 << bit);
                QVERIFY2(kxtest_checksum(f) != 0, qPrintable(QStringLiteral("byte %1 bit %2").arg(i).arg(bit)));
                f[i] ^= uint8_t(1 << bit);
            }
        for (int i = 0; i < 2; ++i)
            for (int bit = 0; bit < 8; ++bit) {
                f[i] ^= uint8_t(1 << bit);
                QVERIFY(kxtest_checksum(f) != 0);
                f[i] ^= uint8_t(1 << bit);
            }
    }

    void bytesAndFields()
    {
        QCOMPARE(kxtest_byte(115200, 3), uint8_t(0x01));
        QCOMPARE(kxtest_byte(115200, 2), uint8_t(0xC2));
        QCOMPARE(kxtest_byte(115200, 1), uint8_t(0x00));
        QCOMPARE(kxtest_byte(-1, 4), uint8_t(0xFF));
        QCOMPARE(kxtest_byte(2048, 2), uint8_t(0x08));
        for (int32_t v : {0, 1, -1, 31337, INT32_MIN, INT32_MAX, -123456}) {
            const uint8_t b[4] = {kxtest_byte(v, 4), kxtest_byte(v, 3), kxtest_byte(v, 2), kxtest_byte(v, 1)};
            QCOMPARE(kxtest_get32(b), v);
        }
    }

    void crcVectors_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<uint>("crc");
        QTest::newRow("123456789") << QByteArray("123456789") << 0x340BC6D9u;
        QTest::newRow("abc") << QByteArray("abc") << 0xCADBBE3Du;
        QTest::newRow("empty") << QByteArray() << 0xFFFFFFFFu;
    }
    void crcVectors()
    {
        QFETCH(QByteArray, data);
        QFETCH(uint, crc);
        QCOMPARE(Crc32Update(0xFFFFFFFFu, reinterpret_cast<const uint8_t *>(data.constData()), uint16_t(data.size())), crc);
        QCOMPARE(crc32Of(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size())), crc);
    }

    // Chunking, odd lengths and odd starting addresses all agree with zlib.
    void crcAgreesWithZlib()
    {
        std::vector<uint8_t> data(100000);
        QRandomGenerator rng(1234);
        for (auto &b : data)
            b = uint8_t(rng.generate());
        uint32_t chunked = 0xFFFFFFFFu;
        size_t pos = 0;
        for (uint16_t n : {32768, 32768, 32768, 1696}) {
            chunked = Crc32Update(chunked, data.data() + pos, n);
            pos += n;
        }
        const uint32_t zlibCrc = uint32_t(crc32(0, data.data(), uInt(data.size())));
        QCOMPARE(chunked, ~zlibCrc);
        QCOMPARE(crc32Of(data.data(), data.size()), ~zlibCrc);
        for (int i = 0; i < 200; ++i) {
            const size_t start = rng.bounded(64), length = rng.bounded(3000);
            QCOMPARE(Crc32Update(0xFFFFFFFFu, data.data() + start, uint16_t(length)),
                     ~uint32_t(crc32(0, data.data() + start, uInt(length))));
        }
    }

    void parseIp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rc");
        QTest::addColumn<QByteArray>("octets");   // starting from aa aa aa aa
        QTest::newRow("plain") << "192.168.0.1" << 0 << QByteArray("c0 a8 00 01");
        QTest::newRow("three parts") << "1.2.3" << -1 << QByteArray("01 02 aa aa");
        QTest::newRow("low 8 bits") << "300.1.1.1" << 0 << QByteArray("2c 01 01 01");
        QTest::newRow("text after fourth ignored") << "1.2.3.4.5" << 0 << QByteArray("01 02 03 04");
        QTest::newRow("empty") << "" << -1 << QByteArray("aa aa aa aa");
        QTest::newRow("empty fourth") << "1.2.3." << -1 << QByteArray("01 02 03 aa");
        QTest::newRow("not decimal") << "10.0.x.1" << -1 << QByteArray("0a 00 aa aa");
        QTest::newRow("host name") << "box" << -1 << QByteArray("aa aa aa aa");
        QTest::newRow("empty octet") << "1..2.3" << -1 << QByteArray("01 aa aa aa");
        QTest::newRow("blank inside") << "1.2 .3.4" << -1 << QByteArray("01 aa aa aa");
        QTest::newRow("huge") << "99999999999999999999.1.1.1" << -1 << QByteArray("aa aa aa aa");
    }
    void parseIp()
    {
        QFETCH(QString, text);
        QFETCH(int, rc);
        QFETCH(QByteArray, octets);
        uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
        QCOMPARE(kxtest_parse_ip(text, out), rc);
        QCOMPARE(hexOf(out, 4), octets);
    }

    void logRules_data()
    {
        QTest::addColumn<int>("debugLevel");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("newline");
        QTest::addColumn<QString>("pattern");   // regular expression for the whole memo
        QTest::newRow("level above threshold") << 0 << 1 << "server: retry  3" << true << "";
        QTest::newRow("time-stamped retry") << 1 << 1 << "server: retry  3" << true << kStamp + "server: retry  3\r\n";
        QTest::newRow("client line stamped") << 1 << 1 << "client says hi" << false << kStamp + "client says hi";
        QTest::newRow("no stamp") << 3 << 3 << "checksum error" << true << "checksum error\r\n";
        QTest::newRow("carriage return") << 1 << 1 << "\r" << false << "\r\n";
        QTest::newRow("line feed") << 1 << 1 << "\n" << true << "";
        QTest::newRow("level 0 at 0") << 0 << 0 << "done" << true << "done\r\n";
    }
    void logRules()
    {
        QFETCH(int, debugLevel);
        QFETCH(int, level);
        QFETCH(QString, text);
        QFETCH(bool, newline);
        QFETCH(QString, pattern);
        RecorderPanel panel;
        DebugLevel = debugLevel;
        kxtest_log(&panel, level, text, newline);
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(panel.log).hasMatch(),
                 qPrintable(panel.log));
    }

    // Pieces of a dump and an empty text with the flag make one stamped line;
    // from then on operator lines carry milliseconds as well.
    void dumpPiecesAndTimeFormat()
    {
        RecorderPanel panel;
        DebugLevel = 3;
        const QRegularExpression seconds(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d erasing flash...$"));
        QVERIFY(seconds.match(logLineText(QStringLiteral("erasing flash..."))).hasMatch());
        kxtest_log(&panel, 3, QStringLiteral("server: REC (0) "), false);
        kxtest_log(&panel, 3, QStringLiteral("4B "), false);
        kxtest_log(&panel, 3, QStringLiteral("58 "), false);
        kxtest_log(&panel, 3, QString(), true);
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(kStamp + "server: REC \\(0\\) 4B 58 \r\n"))
                     .match(panel.log).hasMatch(), qPrintable(panel.log));
        const QRegularExpression millis(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d erasing flash...$"));
        QVERIFY(millis.match(logLineText(QStringLiteral("erasing flash..."))).hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestLinkFrame)
#include "test_link_frame.moc"

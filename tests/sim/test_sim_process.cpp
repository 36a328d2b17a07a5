// The simulator as a running program, over a real pseudo-terminal and UDP,
// against a small scripted PC: the boot dialogue, the download stream with a
// lost acknowledgement, power cycles, the UDP transport and strictness.

#include "common/sim_process.h"
#include "scripted_pc.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

class TestSimProcess : public QObject {
    Q_OBJECT

private slots:
    void bootDialogue_data();
    void bootDialogue();
    void brokenUploadGoesBackToBanner_data();
    void brokenUploadGoesBackToBanner();
    void downloadWithOneLostAcknowledgement();
    void powerCycleOnReopenKeepsFlash();
    void udpTransport();
    void pacedLineDeliversEverything();
    void strictCountsBadFrames();
};

void TestSimProcess::bootDialogue_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QStringList>("extra");
    for (int i = 0; i < 5; ++i)
        QTest::newRow(kModels[i].option) << i << QStringList();
    QTest::newRow("banner in one write") << 0 << QStringList{"--banner-one-write"};
    QTest::newRow("console text between frames") << 3 << QStringList{"--console", "loader KX ready\\r\\n"};
}

void TestSimProcess::bootDialogue()
{
    QFETCH(int, model);
    QFETCH(QStringList, extra);
    const ModelRow &m = kModels[model];
    SimProcess sim;
    MORVABOX_START_SIM(sim, (QStringList{"--model", m.option, "--power-on-delay", "0", "--strict"} + extra));
    PtyClient pc;
    QVERIFY(pc.open(sim.ptyPath));
    const QByteArray discover = bootToLoader(pc, m);
    QCOMPARE(discover.size(), 19);
    QCOMPARE(discover.left(5).toHex(), QByteArray("4b58001300"));
    QCOMPARE(discover.mid(5, 6).toHex(), QByteArray("01c200024b7d"));   // 115200 baud, MAC 02-4B-7D-..
    QCOMPARE(discover.mid(14, 4), dottedQuad(sim.boxIp));
    QVERIFY(attach(pc, sim.boxIp));
    QCOMPARE(ask(pc, 4, 1), 31337);
    QCOMPARE(sim.stop(), 0);
}

void TestSimProcess::brokenUploadGoesBackToBanner_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("sendImage");
    QTest::addColumn<QByteArray>("complaint");
    const QByteArray image = withCheckValue(loaderImage(43040));
    QTest::newRow("unknown header") << QByteArray::fromHex("4735000000A824") << false << QByteArray("header");
    QTest::newRow("length of another model") << uploadHeader(65572) << false << QByteArray("length");
    QTest::newRow("wrong check value") << uploadHeader(43044) << true << QByteArray("check value");
}

void TestSimProcess::brokenUploadGoesBackToBanner()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, sendImage);
    QFETCH(QByteArray, complaint);
    SimProcess sim;
    MORVABOX_START_SIM(sim, {"--power-on-delay", "0", "--strict"});
    PtyClient pc;
    QVERIFY(pc.open(sim.ptyPath));
    QVERIFY(!pc.readUntil(kModels[0].banner, kWaitMs).isEmpty());
    pc.write("vexil" + header.leftJustified(8, '\0'));
    if (sendImage) {
        QByteArray image = withCheckValue(loaderImage(43040));
        image[100] = char(image[100] ^ 1);
        QVERIFY(!pc.readUntil("loading instr. file", kWaitMs).isEmpty());
        pc.write(image);
    }
    const QByteArray said = pc.readUntil(kModels[0].banner, kWaitMs);
    QVERIFY2(said.contains("error") && said.contains(complaint), said.constData());
    // No loader runs: nothing but silence after the banner.
    QVERIFY(pc.readFrame(kSilenceMs).isEmpty());
    QCOMPARE(sim.stop(), 3);
}

void TestSimProcess::downloadWithOneLostAcknowledgement()
{
    SimProcess sim;
    MORVABOX_START_SIM(sim, {"--power-on-delay", "0", "--strict"});
    PtyClient pc;
    QVERIFY(connectAndAttach(pc, sim.ptyPath, sim.boxIp));
    const uint32_t start = kFlashBase + 0x10, length = 3000;
    pc.write(kxFrame(6, 1, be32(start) + be32(length)));
    const QByteArray first = pc.readFrame(kWaitMs);
    QCOMPARE(int(first[4]), 5);
    QCOMPARE(int(first[5]), 1);   // the box's first request after the attach
    // Not acknowledged: the same block comes again, with the same number.
    QCOMPARE(pc.readFrame(kWaitMs), first);
    pc.write(kxFrame(3, 1, be32(0)));
    qint64 answer = -2;
    const QByteArray rest = receiveDownload(pc, 1, &answer);
    QCOMPARE(answer, qint64(length));
    QCOMPARE(first.mid(14, 1024) + rest, flashPattern(start, int(length)));
    QCOMPARE(sim.stop(), 0);
}

void TestSimProcess::powerCycleOnReopenKeepsFlash()
{
    QTemporaryDir dir;
    const QString flashFile = dir.filePath("flash.bin");
    SimProcess sim;
    MORVABOX_START_SIM(sim, {"--power-on-delay", "0", "--flash-file", flashFile});
    PtyClient pc;
    QVERIFY(connectAndAttach(pc, sim.ptyPath, sim.boxIp));
    QCOMPARE(ask(pc, 10, 1, QByteArray(1, '\0') + be32(kFlashBase) + be32(1)), 1);
    QCOMPARE(ask(pc, 8, 2, be32(kFlashBase) + be32(0x20000)), 0x20000);   // progress frames are skipped
    QCOMPARE(ask(pc, 7, 3, be32(0x800000) + be32(9)), qint64(int32_t(referenceCrc(QByteArray(9, '\0')))));

    // Disconnect, Connect: off and on. The banner again, lock bits set, flash kept.
    pc.close();
    QVERIFY(pc.open(sim.ptyPath));
    QVERIFY(!bootToLoader(pc, kModels[0]).isEmpty());
    QVERIFY(attach(pc, sim.boxIp));
    QCOMPARE(ask(pc, 8, 1, be32(kFlashBase) + be32(0x20000)), 0);
    pc.write(kxFrame(6, 2, be32(kFlashBase) + be32(16)));
    qint64 answer = -2;
    QCOMPARE(receiveDownload(pc, 2, &answer), QByteArray(16, char(0xFF)));

    // SIGUSR1 power-cycles too.
    sim.powerCycle();
    QVERIFY(!bootToLoader(pc, kModels[0]).isEmpty());
    QCOMPARE(sim.stop(), 0);

    // The next run starts from the file: erased block first, pattern behind it.
    QFile f(flashFile);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.size(), 0x800000);
    const QByteArray head = f.read(0x20004);
    QCOMPARE(head.left(4), QByteArray(4, char(0xFF)));
    QCOMPARE(head.mid(0x20000), flashPattern(kFlashBase + 0x20000, 4));
}

void TestSimProcess::udpTransport()
{
    SimProcess sim;
    MORVABOX_START_SIM(sim, {"--power-on-delay", "0", "--strict"});
    PtyClient pc;
    QVERIFY(connectAndAttach(pc, sim.ptyPath, sim.boxIp));   // for the serial line only
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress(sim.pcIp), 19288));   // where the tool listens
    const QHostAddress box(sim.boxIp);
    auto udpFrame = [&]() -> QByteArray {
        if (!udp.hasPendingDatagrams() && !udp.waitForReadyRead(kWaitMs))
            return {};
        QByteArray d(int(udp.pendingDatagramSize()), '\0');
        QHostAddress from;
        quint16 port = 0;
        udp.readDatagram(d.data(), d.size(), &from, &port);
        return from == box && port == sim.udpPort ? d : QByteArray("wrong sender");
    };

    // Attached for the serial line only: datagrams go unanswered.
    udp.writeDatagram(kxFrame(4, 1), box, sim.udpPort);
    QVERIFY(!udp.waitForReadyRead(kSilenceMs));

    // With a server address the box listens on UDP and answers where a request came in.
    QVERIFY(attach(pc, sim.boxIp, sim.pcIp));
    udp.writeDatagram(kxFrame(4, 1), box, sim.udpPort);
    QCOMPARE(udpFrame().toHex(), kxFrame(3, 1, be32(31337)).toHex());
    udp.writeDatagram(kxFrame(6, 2, be32(kFlashBase) + be32(1500)), box, sim.udpPort);
    QByteArray data, f;
    while ((f = udpFrame()).size() > 11 && f[4] == 5) {
        data += f.mid(14, int(readBe32(f, 10)));
        udp.writeDatagram(kxFrame(3, uint8_t(f[5]), be32(0)), box, sim.udpPort);
    }
    QCOMPARE(f.toHex(), kxFrame(3, 2, be32(1500)).toHex());
    QCOMPARE(data, flashPattern(kFlashBase, 1500));
    QCOMPARE(ask(pc, 4, 3), 31337);   // the serial line still serves
    QCOMPARE(sim.stop(), 0);
}

void TestSimProcess::pacedLineDeliversEverything()
{
    // A fast rate keeps the test short; what is checked is that pacing loses,
    // reorders and stalls nothing in either direction (no timing is asserted).
    SimProcess sim;
    MORVABOX_START_SIM(sim, {"--power-on-delay", "0", "--strict", "--baud", "921600"});
    PtyClient pc;
    QVERIFY(connectAndAttach(pc, sim.ptyPath, sim.boxIp));
    const uint32_t start = kFlashBase + 0x7BC000, length = 0x4000;
    pc.write(kxFrame(6, 1, be32(start) + be32(length)));
    qint64 answer = -2;
    QCOMPARE(receiveDownload(pc, 1, &answer), flashPattern(start, int(length)));
    QCOMPARE(answer, qint64(length));
    QCOMPARE(sim.stop(), 0);
}

void TestSimProcess::strictCountsBadFrames()
{
    SimProcess sim;
    MORVABOX_START_SIM(sim, {"--power-on-delay", "0", "--strict"});
    PtyClient pc;
    QVERIFY(connectAndAttach(pc, sim.ptyPath, sim.boxIp));
    QByteArray bad = kxFrame(4, 1);
    bad[6] = char(bad[6] ^ 0x40);
    pc.write(bad);
    QVERIFY(pc.readFrame(kSilenceMs).isEmpty());   // dropped, not answered
    QCOMPARE(ask(pc, 4, 1), 31337);                // the retransmission is
    QCOMPARE(sim.stop(), 3);
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "test_sim_process.moc"

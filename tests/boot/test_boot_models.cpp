// Every model over the serial line against the simulated box: banner, keyword,
// upload header, loader upload in 1024-byte blocks with its check value,
// discover, attach frame, Ping, and the model's commands.
#include "boot_rig.h"

#include <QtTest>

class TestBootModels : public QObject {
    Q_OBJECT
private slots:
    void init() { DebugLevel = 4; resetTimeFormat(); }
    void bootEveryModel_data();
    void bootEveryModel();
};

void TestBootModels::bootEveryModel_data()
{
    QTest::addColumn<QString>("simModel");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("blocks");      // 1024-byte blocks, the last one shorter
    QTest::addColumn<int>("lastBlock");
    QTest::addColumn<bool>("nor");        // lock bits, erase, verify, backup; else second stage
    QTest::newRow("KX210") << "KX210" << "KX210" << "47 34 00 00 00 00 A8 24" << 43 << 36 << true;
    QTest::newRow("KX23xx") << "KX23xx" << "KX23xx" << "47 34 00 00 00 00 A8 24" << 43 << 36 << true;
    QTest::newRow("SOLAN 318") << "SOLAN318" << "SOLAN 318" << "47 34 00 00 00 00 A8 24" << 43 << 36 << true;
    QTest::newRow("KX4000") << "KX4000" << "KX4000" << "47 34 00 00 00 01 00 24" << 65 << 36 << true;
    QTest::newRow("KX4020") << "KX4020" << "KX4020" << "47 34 00 00 00 01 92 DC" << 101 << 732 << false;
}

void TestBootModels::bootEveryModel()
{
    QFETCH(QString, simModel);
    QFETCH(QString, model);
    QFETCH(QString, header);
    QFETCH(int, blocks);
    QFETCH(int, lastBlock);
    QFETCH(bool, nor);

    BootRig rig;
    SimProcess sim;
    MORVABOX_START_SIM(sim, ({"--model", simModel, "--trace", rig.tracePath()}));
    rig.panel.port = sim.ptyPath;
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);
    QCOMPARE(rig.panel.status, QStringLiteral("Connection prepared, now switch on the morvabox!"));
    QVERIFY2(rig.attached(), qPrintable(rig.panel.calls.join('\n') + rig.trace()));

    // Banner (split over two reads by the simulator) recognised, keyword sent.
    QCOMPARE(rig.box.modelName(), model);
    QVERIFY(rig.panel.calls.contains("line:Boxtype: " + model));
    QCOMPARE(rig.panel.panels[0], "Boxtype:  " + model);
    const QString trace = rig.trace();
    QVERIFY(trace.contains("boot rom: keyword"));
    QVERIFY2(trace.contains("boot rom: header " + header), qPrintable(trace));

    // The loader went up whole, in 1024-byte blocks, with the check value the box computed.
    QCOMPARE(rig.panel.uploadSteps.size(), blocks);
    QCOMPARE(rig.panel.uploadSteps.count(1024), blocks - 1);
    QCOMPARE(rig.panel.uploadSteps.last(), lastBlock);
    QVERIFY2(trace.contains(QString::asprintf("loader received intact, crc %08X", rig.box.loader()->check)),
             qPrintable(trace));

    // Discover answered with the attach frame: baud 115200, the server's
    // hardware address, the box address from the discover, server 0.0.0.0.
    uint8_t ip[4];
    QVERIFY(parseDottedQuad(sim.boxIp, ip));
    QByteArray attach = QByteArray::fromHex("4B5800180100" "01C200" "024B7D0000FF");
    attach.append(reinterpret_cast<const char *>(ip), 4).append(4, '\0');
    char check = 0;
    for (char c : attach)
        check ^= c;
    attach.append(check);
    QVERIFY(rig.panel.log.contains("server: got discover packet, ip " + sim.boxIp + ", baud 115200"));
    QVERIFY2(rig.panel.log.contains("server: send packet (0) len: 24, seq 0x0 : " + attach.toHex(' ').toUpper() + ' '),
             qPrintable(rig.panel.log.right(3000)));
    QVERIFY(trace.contains("in serial op=1 seq=0 len=24"));

    // The attach's Ping: one NOP on the serial line, answered 31337.
    QVERIFY(trace.contains("in serial op=4 seq=1"));
    QVERIFY(trace.contains("out serial op=3 seq=1 len=11 value=31337"));
    QCOMPARE(rig.box.ctx()->link_state, 1);
    QCOMPARE(rig.box.ctx()->transport, 0);

    // The model's commands: backup and erase for NOR boxes, second stage for the KX4020.
    const BoxInfo &info = rig.box.boxInfo();
    QCOMPARE(info.KX_CANBACKUP != 0, nor);
    QCOMPARE(info.KX_CANERASE != 0, nor);
    QCOMPARE(info.KX_HASLOCKBITS != 0, nor);
    QCOMPARE(info.KX_HAS2NDSTAGE != 0, !nor);
    QCOMPARE(rig.panel.calls.last(), "status:" + kReady);
    QVERIFY(rig.panel.calls.contains("enable:1"));

    rig.box.disconnectBox();
    QCOMPARE(sim.stop(), 0);
}

QTEST_GUILESS_MAIN(TestBootModels)
#include "test_boot_models.moc"

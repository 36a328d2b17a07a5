// The boot dialogue's edges against the simulated box: banners that must and
// must not be recognised, Disconnect and Connect again, a Disconnect during
// the upload.
#include "boot_rig.h"

#include <QtTest>

class TestBootDialogue : public QObject {
    Q_OBJECT
private slots:
    void init() { DebugLevel = 3; resetTimeFormat(); }
    void banner_data();
    void banner();
    void reconnectStartsOverAndLaterDiscoverIsOnlyLogged();
    void disconnectDuringUploadEndsProgram();
    void refusedConnectKeepsThePortOpen();
};

void TestBootDialogue::banner_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QString>("model");    // empty: not recognised
    QTest::addColumn<QString>("echo");     // the boot output as the protocol log shows it ("~" for NUL)
    // The simulator writes its banner in two pieces 20 ms apart: two reads.
    QTest::newRow("split over two reads") << QStringList{"--model", "KX23xx"} << "KX23xx" << "Morvabox K~X23";
    QTest::newRow("pattern without its NUL")
        << QStringList{"--banner", "Morvabox KX210", "--banner-one-write"} << QString() << "Morvabox KX210";
    QTest::newRow("rows 1 and 3 in one read")
        << QStringList{"--banner", "Morvabox K\\0X210 SOLAN\\0 318", "--banner-one-write"} << "SOLAN 318"
        << "Morvabox K~X210 SOLAN~ 318";
}

void TestBootDialogue::banner()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QString, model);
    QFETCH(QString, echo);

    BootRig rig;
    SimProcess sim;
    MORVABOX_START_SIM(sim, (simArgs + QStringList{"--trace", rig.tracePath()}));
    rig.panel.port = sim.ptyPath;
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);
    // The banner has been printed (and read) once the log shows the event mark after it.
    QVERIFY(rig.waitUntil([&] { return QString(rig.panel.log).remove('#').contains(echo) && rig.panel.log.endsWith('#'); }, 5000));
    if (model.isEmpty())
        rig.waitUntil([] { return false; }, 300);   // room for a keyword that must not come
    else
        QVERIFY(rig.waitUntil([&] { return rig.trace().contains("boot rom: keyword"); }, 5000));

    QCOMPARE(rig.box.modelName(), model);
    QCOMPARE(rig.box.bootStep() > 0, !model.isEmpty());
    QCOMPARE(rig.trace().contains("boot rom: keyword"), !model.isEmpty());
    if (QTest::currentDataTag() == QLatin1String("split over two reads"))
        QVERIFY2(!rig.panel.log.contains(echo), qPrintable(rig.panel.log));   // an event mark inside the pattern
    rig.box.disconnectBox();
}

void TestBootDialogue::reconnectStartsOverAndLaterDiscoverIsOnlyLogged()
{
    BootRig rig;
    SimProcess sim;
    DebugLevel = 1;
    MORVABOX_START_SIM(sim, ({"--trace", rig.tracePath()}));
    rig.panel.port = sim.ptyPath;

    // First session: stop once the upload header is out.
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);
    QVERIFY(rig.waitUntil([&] { return rig.box.bootStep() == 2; }));
    rig.box.disconnectBox();
    QCOMPARE(rig.box.ctx()->link_state, -1);
    QCOMPARE(rig.box.boxInfo().KX_FLASHSIZE, 0);
    QCOMPARE(rig.box.loader()->length, 0);
    QCOMPARE(rig.panel.status, QString());

    // Second session: the box was switched off by the closed port and boots again.
    rig.panel.calls.clear();
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);
    QCOMPARE(rig.box.bootStep(), 0);
    QCOMPARE(rig.panel.panels[0], QStringLiteral("Boxtype: "));
    QVERIFY(rig.panel.calls.contains("clearLog"));
    QVERIFY(rig.attached());
    QCOMPARE(rig.trace().count("power on"), 2);
    QCOMPARE(rig.trace().count("boot rom: keyword"), 2);
    QCOMPARE(rig.trace().count("loader received intact"), 1);

    // A discover after the attach is logged and changes nothing.
    uint8_t discover[19] = {'K', 'X', 0, 19, KX_OP_DISCOVER, 0x01, 0xC2, 0x00, 0x02, 0x4B, 0x7D, 0, 0, 9, 127, 0, 0, 9, 0};
    for (int i = 0; i < 18; ++i)
        discover[18] ^= discover[i];
    const int attachesBefore = rig.trace().count("in serial op=1");
    for (uint8_t b : discover)
        kxtest_rx_byte(rig.box.ctx(), b);
    rig.waitUntil([] { return false; }, 300);
    QVERIFY(rig.panel.log.contains("server: got discover packet, ip 127.0.0.9, baud 115200"));
    QCOMPARE(rig.trace().count("in serial op=1"), attachesBefore);
    QCOMPARE(rig.box.ctx()->link_state, 1);
    rig.box.disconnectBox();
}

void TestBootDialogue::disconnectDuringUploadEndsProgram()
{
    BootRig rig;
    SimProcess sim;
    MORVABOX_START_SIM(sim, ({"--trace", rig.tracePath()}));
    rig.panel.port = sim.ptyPath;
    // The operator's click arrives in the upload's event pumping.
    bool clicked = false;
    rig.panel.onProgress = [&](int pos) {
        if (!clicked && pos >= 8192) {
            clicked = true;
            rig.box.Bt_StartStopClick();
        }
    };
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);
    QVERIFY(rig.waitUntil([&] { return rig.panel.calls.contains("terminate"); }));

    const int box = rig.panel.calls.indexOf("box:Error:Aborted by User, Exiting");
    QVERIFY(box >= 0);
    QCOMPARE(rig.panel.calls.indexOf("terminate"), box + 1);
    QCOMPARE(rig.box.bootStep(), 2);
    QVERIFY(rig.box.uploadFailed());
    QVERIFY(!rig.trace().contains("loader received intact"));
}

// A Connect refused for its network settings leaves the port open; the next
// Connect on the same port must not close and reopen it, which would switch
// the box off and on.
void TestBootDialogue::refusedConnectKeepsThePortOpen()
{
    BootRig rig;
    SimProcess sim;
    DebugLevel = 1;
    MORVABOX_START_SIM(sim, ({"--trace", rig.tracePath()}));
    rig.panel.port = sim.ptyPath;
    rig.panel.useNet = true;
    rig.panel.addresses = {"127.0.0.1"};
    rig.panel.pcIp = QStringLiteral("10.9.9.9");
    rig.panel.boxIp = QStringLiteral("10.9.9.19");
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::BadPcIp);
    QVERIFY(!rig.box.connected());

    rig.panel.useNet = false;
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);
    QVERIFY(rig.waitUntil([&] { return rig.box.bootStep() == 2; }));
    QCOMPARE(rig.trace().count("port opened by the tool"), 1);
    QCOMPARE(rig.trace().count("power on"), 1);
    rig.box.disconnectBox();
}

QTEST_GUILESS_MAIN(TestBootDialogue)
#include "test_boot_dialogue.moc"

// The boot dialogue's edges against the simulated box: banners that must and
// must not be recognised, a refused attach, Disconnect and Connect again, a
// Disconnect during the upload, a box that stops reading during the upload.
#include "boot_rig.h"

#include <QtTest>

class TestBootDialogue : public QObject {
    Q_OBJECT
private slots:
    void init() { DebugLevel = 3; resetTimeFormat(); }
    void banner_data();
    void banner();
    void unansweredAttachTriesAgainOnNextDiscover();
    void reconnectStartsOverAndLaterDiscoverIsOnlyLogged();
    void disconnectDuringUploadEndsProgram();
    void stalledReader_data();
    void stalledReader();
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

void TestBootDialogue::unansweredAttachTriesAgainOnNextDiscover()
{
    BootRig rig;
    SimProcess sim;
    DebugLevel = 1;
    // The box hears nothing the PC sends once its loader runs; it keeps announcing itself.
    MORVABOX_START_SIM(sim, ({"--drop", "1:in", "--trace", rig.tracePath()}));
    rig.panel.port = sim.ptyPath;
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);
    QVERIFY(rig.waitForStatus(kAborted));
    QCOMPARE(rig.panel.log.count("attach failed!"), 1);
    QCOMPARE(rig.trace().count("in serial op=1 seq=0"), KX_MAX_TRANSMISSIONS);
    QVERIFY(rig.panel.calls.contains("pingEnabled:0"));
    QVERIFY(!rig.panel.calls.contains("ping"));

    // The next discover starts a fresh attempt with a fresh attach frame.
    QVERIFY(rig.waitUntil([&] { return rig.trace().count("in serial op=1 seq=0") > KX_MAX_TRANSMISSIONS; }, 5000));
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

void TestBootDialogue::stalledReader_data()
{
    QTest::addColumn<int>("stallMs");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<bool>("writeCameBackShort");
    // One write waits up to 10 ms + 1 ms per byte (1034 ms for a block); the
    // port counts as failed when no byte has left for 3 s.
    QTest::newRow("stall within one write time-out") << 500 << true << false;
    QTest::newRow("stall over two write time-outs") << 2000 << true << true;
    QTest::newRow("stall past the failed-port limit") << 4500 << false << true;
}

void TestBootDialogue::stalledReader()
{
    QFETCH(int, stallMs);
    QFETCH(bool, delivered);
    QFETCH(bool, writeCameBackShort);

    BootRig rig;
    SimProcess sim;
    DebugLevel = 1;
    MORVABOX_START_SIM(sim, ({"--stall-read", QString::number(stallMs), "--trace", rig.tracePath()}));
    rig.panel.port = sim.ptyPath;
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);
    QVERIFY(rig.waitUntil([&] { return rig.panel.status == kReady || rig.panel.calls.contains("terminate"); }));

    QVERIFY(rig.trace().contains("fault: serial line not read"));
    QCOMPARE(rig.panel.log.contains("ERROR IN Write"), writeCameBackShort);
    if (delivered) {
        QCOMPARE(rig.panel.status, kReady);
        QVERIFY(rig.trace().contains("loader received intact"));
        QCOMPARE(rig.panel.progPos, 43044);
    } else {
        // Nothing left the PC for the failed-port limit: reported, the program ends.
        QCOMPARE(rig.panel.calls.mid(rig.panel.calls.size() - 2),
                 QStringList({"box:Error:Aborted by User, Exiting", "terminate"}));
        QVERIFY(rig.panel.progPos < 43044);
        rig.box.disconnectBox();
    }
}

QTEST_GUILESS_MAIN(TestBootDialogue)
#include "test_boot_dialogue.moc"

// A box that misbehaves during the boot: it stops reading the serial line
// during the loader upload, or it never hears the attach.
#include "boot_rig.h"

#include <QtTest>

class TestBootFaults : public QObject {
    Q_OBJECT
private slots:
    void init() { DebugLevel = 1; resetTimeFormat(); }
    void stalledReader_data();
    void stalledReader();
    void unansweredAttachTriesAgainOnNextDiscover();
};

void TestBootFaults::stalledReader_data()
{
    QTest::addColumn<int>("stallMs");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<bool>("writeCameBackShort");
    // One write waits up to 10 ms + 1 ms per byte (1034 ms for a block); the
    // port counts as failed when no byte has left for 3 s.
    QTest::newRow("stall over two write time-outs") << 2000 << true << true;
    QTest::newRow("stall past the failed-port limit") << 4500 << false << true;
}

void TestBootFaults::stalledReader()
{
    QFETCH(int, stallMs);
    QFETCH(bool, delivered);
    QFETCH(bool, writeCameBackShort);

    BootRig rig;
    SimProcess sim;
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

void TestBootFaults::unansweredAttachTriesAgainOnNextDiscover()
{
    BootRig rig;
    SimProcess sim;
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

QTEST_GUILESS_MAIN(TestBootFaults)
#include "test_boot_faults.moc"

// The simulator's fault options as a scripted PC meets them over the pty,
// and the reproducibility of its random faults by seed.

#include "common/sim_process.h"
#include "scripted_pc.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestSimFaults : public QObject {
    Q_OBJECT

private slots:
    void faultOptions_data();
    void faultOptions();
    void dropsAreReproducibleBySeed();
};

void TestSimFaults::faultOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expect");
    // After boot and attach (one request) the script sends NOP, calccrc32, NOP.
    QTest::newRow("--fail 7") << QStringList{"--fail", "7"} << "31337 -1 31337";
    QTest::newRow("--bad-crc") << QStringList{"--bad-crc"} << "31337 wrong 31337";
    QTest::newRow("--stall-after 2") << QStringList{"--stall-after", "2"} << "31337 none none";
    QTest::newRow("--reboot-after 2") << QStringList{"--reboot-after", "2"} << "31337 banner";
    QTest::newRow("--delay 100") << QStringList{"--delay", "100"} << "31337 right 31337";
}

void TestSimFaults::faultOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expect);
    SimProcess sim;
    MORVABOX_START_SIM(sim, (QStringList{"--power-on-delay", "0"} + args));
    PtyClient pc;
    QVERIFY(connectAndAttach(pc, sim.ptyPath, sim.boxIp));
    constexpr int kShortWaitMs = 400;
    auto word = [](qint64 v) { return v == kNoAnswer ? QStringLiteral("none") : QString::number(v); };
    QStringList got{word(ask(pc, 4, 1, {}, kShortWaitMs))};
    if (expect.endsWith("banner")) {
        got << (pc.readUntil(kModels[0].banner, kWaitMs).isEmpty() ? "no banner" : "banner");
    } else {
        const qint64 crc = ask(pc, 7, 2, be32(kFlashBase) + be32(64), kShortWaitMs);
        const qint64 right = int32_t(referenceCrc(flashPattern(kFlashBase, 64)));
        got << (crc == right ? "right" : crc == kNoAnswer || crc == -1 ? word(crc) : "wrong");
        got << word(ask(pc, 4, 3, {}, kShortWaitMs));
    }
    QCOMPARE(got.join(' '), expect);
}

void TestSimFaults::dropsAreReproducibleBySeed()
{
    QTemporaryDir dir;
    constexpr int kResendAfterMs = 150;
    int runs = 0;
    // Sends attach and six NOPs, each again after a silence, and returns the
    // box's fault decisions as its trace tells them.
    auto run = [&](const QString &seed) -> QStringList {
        const QString trace = dir.filePath(QStringLiteral("trace-%1").arg(++runs));
        SimProcess sim;
        QString path, why;
        if (!SimProcess::available(&path, &why) ||
            !sim.start(path, {"--power-on-delay", "0", "--drop", "0.4:in", "--seed", seed, "--trace", trace}, &why))
            return {why};
        PtyClient pc;
        pc.open(sim.ptyPath);
        bootToLoader(pc, kModels[0]);
        for (int tries = 0; tries < 20 && ask(pc, 1, 0, attachPayload(sim.boxIp), kResendAfterMs) != 0; ++tries) {
        }
        for (uint8_t seq = 1; seq <= 6; ++seq)
            for (int tries = 0; tries < 20 && ask(pc, 4, seq, {}, kResendAfterMs) != 31337; ++tries) {
            }
        sim.stop();
        QFile f(trace);
        f.open(QIODevice::ReadOnly);
        QStringList decisions;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.contains("fault:"))
                decisions << QString::fromUtf8(line.mid(13));   // without the time stamp
        return decisions;
    };
    QString path, why;
    if (!SimProcess::available(&path, &why))
        QSKIP(qPrintable(why));
    const QStringList a = run("11"), b = run("11"), c = run("12");
    QVERIFY2(a.size() >= 3, qPrintable(a.join('\n')));
    QCOMPARE(a, b);
    QVERIFY(a != c);
}

QTEST_GUILESS_MAIN(TestSimFaults)
#include "test_sim_faults.moc"

// morvaup-cli as a script sees it: exit status, stdout and stderr.
#include "common/sim_process.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {
struct Run {
    int code = -1;
    QString out, err;
};

Run cli(const QStringList &args, int timeoutMs = 30000)
{
    QProcess p;
    p.start(QStringLiteral(MORVAUP_CLI), args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}
} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void badArguments_data();
    void badArguments();
    void helpNamesEveryOption();
    void missingPort();
    void badNetworkSettings_data();
    void badNetworkSettings();
    void pingAttachedBox();
    void echoImpossibleStillPreparesConnection();
    void portWithoutPermission();
};

void TestCli::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("no command") << QStringList{"--port", "/dev/null"} << "No command";
    QTest::newRow("unknown command") << QStringList{"--port", "/dev/null", "flash"} << "Unknown command";
    QTest::newRow("no port") << QStringList{"ping"} << "--port";
    QTest::newRow("unknown option") << QStringList{"--port", "/dev/null", "--fast", "ping"} << "fast";
    QTest::newRow("net without addresses") << QStringList{"--port", "x", "--net", "ping"} << "--pc-ip";
    QTest::newRow("addresses without net") << QStringList{"--port", "x", "--box-ip", "1.2.3.4", "ping"} << "--net";
    QTest::newRow("wait not a number") << QStringList{"--port", "x", "--wait-box", "soon", "ping"} << "--wait-box";
    QTest::newRow("wait zero") << QStringList{"--port", "x", "--wait-box", "0", "ping"} << "--wait-box";
    QTest::newRow("debug level 5") << QStringList{"--port", "x", "--debug-level", "5", "ping"} << "--debug-level";
    QTest::newRow("language") << QStringList{"--port", "x", "--lang", "FRA", "ping"} << "--lang";
    QTest::newRow("yes and no") << QStringList{"--port", "x", "--yes", "--no", "ping"} << "--yes";
}

void TestCli::badArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    const Run r = cli(args);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
}

void TestCli::helpNamesEveryOption()
{
    const Run r = cli({"--help"});
    QCOMPARE(r.code, 0);
    for (const char *option : {"--port", "--net", "--pc-ip", "--box-ip", "--wait-box", "--debug-level", "--lang",
                               "--yes", "--no", "ping", "Exit status"})
        QVERIFY2(r.out.contains(QLatin1String(option)), option);
}

void TestCli::missingPort()
{
    const Run r = cli({"--port", "/dev/morvaup-no-such-port", "ping"});
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.contains("/dev/morvaup-no-such-port does not exist"), qPrintable(r.err));
}

void TestCli::badNetworkSettings_data()
{
    QTest::addColumn<QString>("pcIp");
    QTest::addColumn<QString>("boxIp");
    QTest::addColumn<QString>("says");
    QTest::newRow("PC address not this PC's") << "10.254.254.254" << "10.254.254.10" << "--pc-ip 10.254.254.254";
    QTest::newRow("box address not an address") << "127.0.0.1" << "10.0.0.256" << "--box-ip 10.0.0.256";
}

void TestCli::badNetworkSettings()
{
    QFETCH(QString, pcIp);
    QFETCH(QString, boxIp);
    QFETCH(QString, says);
    SimProcess sim;   // a port that opens
    MORVABOX_START_SIM(sim, ({}));
    const Run r = cli({"--port", sim.ptyPath, "--net", "--pc-ip", pcIp, "--box-ip", boxIp, "--lang", "ENG", "ping"});
    QCOMPARE(r.code, 5);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
}

void TestCli::pingAttachedBox()
{
    SimProcess sim;
    MORVABOX_START_SIM(sim, ({"--model", "KX210"}));
    const Run r = cli({"--port", sim.ptyPath, "--wait-box", "10", "--lang", "ENG", "ping"});
    QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
    QVERIFY(r.out.contains("Boxtype: KX210"));
    QVERIFY(r.out.contains("status: uploading flash-loader..."));
    QVERIFY(r.out.contains("progress: 100% (43044 of 43044 bytes"));   // plain lines on a pipe
    QVERIFY(r.out.contains("Ping result: OK, box is alive and speaking to us ;-)"));
    QVERIFY(r.out.trimmed().endsWith("status: Box attached and ready"));
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
}

// Runs the command line as user "nobody" (root only, with setpriv).
static bool canRunAsNobody(QString *why)
{
    if (::geteuid() != 0) {
        *why = QStringLiteral("needs root to run the command line as another user");
        return false;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()) {
        *why = QStringLiteral("needs setpriv (Debian package util-linux)");
        return false;
    }
    return true;
}
static const QStringList kAsNobody = {"--reuid=65534", "--regid=65534", "--clear-groups"};

void TestCli::echoImpossibleStillPreparesConnection()
{
    QString why;
    if (!canRunAsNobody(&why))
        QSKIP(qPrintable(why));
    SimProcess sim;
    MORVABOX_START_SIM(sim, ({"--model", "KX210"}));
    QVERIFY(QFile::setPermissions(sim.ptyPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                                                   | QFileDevice::WriteOther));
    // No ICMP socket of either kind for "nobody", and no ping program on the PATH.
    QProcess p;
    p.start("setpriv", kAsNobody + QStringList{"env", "PATH=/nonexistent", MORVAUP_CLI, "--port", sim.ptyPath, "--net",
                                               "--pc-ip", "127.0.0.1", "--box-ip", sim.boxIp, "--lang", "ENG", "ping"});
    QVERIFY(p.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains("error: Ping: no way to send an ICMP echo"), qPrintable(err));
    // The connection stayed prepared: the box was recognised, loaded and attached over UDP.
    QVERIFY(!out.contains("Connection prepared"));
    QVERIFY2(out.contains("status: Box attached and ready"), qPrintable(out + err));
    QCOMPARE(p.exitCode(), 0);
}

void TestCli::portWithoutPermission()
{
    QString why;
    if (!canRunAsNobody(&why))
        QSKIP(qPrintable(why));
    SimProcess sim;
    MORVABOX_START_SIM(sim, ({}));
    QVERIFY(QFile::setPermissions(sim.ptyPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                                   | QFileDevice::WriteGroup));
    QProcess p;
    p.start("setpriv", kAsNobody + QStringList{MORVAUP_CLI, "--port", sim.ptyPath, "ping"});
    QVERIFY(p.waitForFinished(10000));
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 3);
    QVERIFY2(err.contains("no permission to open serial port " + sim.ptyPath + "; join the group"), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"

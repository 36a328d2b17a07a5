// Connect in network mode: the address checks, the probe of the box address
// with its MAC check, and a box that is driven over UDP after the attach:
// on loopback, and on a veth pair into a network namespace where the PC's
// ARP table holds the simulated box's real MAC address.
#include "boot_rig.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <pty.h>
#include <unistd.h>

namespace {

const QString kPrepared = QStringLiteral("Connection prepared, now switch on the morvabox!");

QString foreignWarning(const QString &ip)
{
    return QStringLiteral("box:Warning:There is something alive with the ip %1\r\nin your network which is not a "
                          "Morvabox.\r\nMorvaUP may not work properly.").arg(ip);
}

// A pseudo-terminal that only serves as a port that opens.
struct SparePty {
    int master = -1, slave = -1;
    QString path;
    SparePty()
    {
        char name[128];
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
    }
    ~SparePty()
    {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
    }
};

// A network namespace with one end of a veth pair; removed again at the end.
struct BoxNamespace {
    QString ns, pcLink, boxLink;
    QString error;
    bool made = false;
    static constexpr const char *kPcIp = "10.213.77.1";
    static constexpr const char *kBoxIp = "10.213.77.2";

    static bool run(const QStringList &args, QString *error = nullptr)
    {
        QProcess p;
        p.start(QStringLiteral("ip"), args);
        const bool ok = p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok && error)
            *error = QStringLiteral("ip %1: %2").arg(args.join(' '), QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
        return ok;
    }
    bool inNs(const QStringList &args) { return run(QStringList{"netns", "exec", ns} + args, &error); }

    bool make(const QString &boxMac)
    {
        const QString id = QString::number(::getpid() % 100000);
        ns = "mvup" + id;
        pcLink = "mvpc" + id;
        boxLink = "mvbx" + id;
        if (!run({"netns", "add", ns}, &error))
            return false;
        made = true;
        return run({"link", "add", pcLink, "type", "veth", "peer", "name", boxLink}, &error)
               && run({"link", "set", boxLink, "netns", ns}, &error)
               && run({"addr", "add", QString(kPcIp) + "/24", "dev", pcLink}, &error)
               && run({"link", "set", pcLink, "up"}, &error)
               && inNs({"ip", "link", "set", boxLink, "address", boxMac})
               && inNs({"ip", "addr", "add", QString(kBoxIp) + "/24", "dev", boxLink})
               && inNs({"ip", "link", "set", boxLink, "up"}) && inNs({"ip", "link", "set", "lo", "up"});
    }
    ~BoxNamespace()
    {
        if (made) {
            run({"netns", "del", ns});
            run({"link", "del", pcLink});   // gone with the namespace already, normally
        }
    }
};

} // namespace

class TestBootNet : public QObject {
    Q_OBJECT
private slots:
    void init() { DebugLevel = 1; resetTimeFormat(); }
    void refusedAddresses_data();
    void refusedAddresses();
    void noPortChosen();
    void loopbackBoxOverUdp();
    void macCheckInNamespace_data();
    void macCheckInNamespace();
};

void TestBootNet::refusedAddresses_data()
{
    QTest::addColumn<QString>("port");    // empty: a pseudo-terminal that works
    QTest::addColumn<QString>("pcIp");
    QTest::addColumn<QString>("boxIp");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");
    const QString badPc = QStringLiteral("Invalid PC-IP, please select a valid one.");
    const QString badBox = QStringLiteral("Invalid Box-IP, please enter a valid one.");
    const int pc = int(BoxConnection::ConnectResult::BadPcIp), box = int(BoxConnection::ConnectResult::BadBoxIp);
    QTest::newRow("PC address typed, not the PC's") << QString() << "10.9.9.9" << "10.9.9.19" << pc << badPc;
    QTest::newRow("box octet above 255") << QString() << "127.0.0.1" << "192.168.0.300" << box << badBox;
    QTest::newRow("box address of three numbers") << QString() << "127.0.0.1" << "192.168.0" << box << badBox;
    QTest::newRow("box address a name") << QString() << "127.0.0.1" << "morvabox.local" << box << badBox;
    QTest::newRow("box address with a blank") << QString() << "127.0.0.1" << "192.168.0.10 " << box << badBox;
    QTest::newRow("box address empty") << QString() << "127.0.0.1" << "" << box << badBox;
    // The operator learns why the port failed, not only that it did.
    QTest::newRow("port missing") << "/dev/no-such-morvabox-port" << "127.0.0.1" << "127.0.0.11"
                                  << int(BoxConnection::ConnectResult::PortFailed)
                                  << "Unable to open COM-Port, Aborting\n\nserial port /dev/no-such-morvabox-port does not exist";
}

void TestBootNet::refusedAddresses()
{
    QFETCH(QString, port);
    QFETCH(QString, pcIp);
    QFETCH(QString, boxIp);
    QFETCH(int, result);
    QFETCH(QString, text);
    SparePty pty;
    QVERIFY(!pty.path.isEmpty());
    BootRig rig;
    rig.panel.port = port.isEmpty() ? pty.path : port;
    rig.panel.useNet = true;
    rig.panel.addresses = {"127.0.0.1"};
    rig.panel.pcIp = pcIp;
    rig.panel.boxIp = boxIp;
    QCOMPARE(int(rig.box.connectBox()), result);
    QCOMPARE(rig.panel.calls, QStringList{"box:Error:" + text});
    QVERIFY(!rig.box.connected());
}

// A machine without serial ports offers none: the operator learns what to do.
void TestBootNet::noPortChosen()
{
    BootRig rig;
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::PortFailed);
    QCOMPARE(rig.panel.calls, QStringList{"box:Error:Unable to open COM-Port, Aborting\n\nno serial port chosen: "
                                          "connect a serial adapter, or give the port's device path"});
}

void TestBootNet::loopbackBoxOverUdp()
{
    BootRig rig;
    SimProcess sim;
    MORVABOX_START_SIM(sim, ({"--trace", rig.tracePath()}));
    rig.panel.port = sim.ptyPath;
    rig.panel.useNet = true;
    rig.panel.addresses = {"127.0.0.1"};
    rig.panel.pcIp = "127.0.0.1";
    rig.panel.boxIp = sim.boxIp;
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);

    // Loopback answers the echo but has no ARP entry: an empty MAC, the warning once.
    QCOMPARE(rig.panel.calls.count(foreignWarning(sim.boxIp)), 1);
    QVERIFY(rig.panel.log.contains("Found MAC \r\n"));
    QVERIFY(rig.panel.log.contains("Found MAC  for IP " + sim.boxIp));
    QCOMPARE(rig.panel.status, kPrepared);

    QVERIFY2(rig.attached(), qPrintable(rig.panel.calls.join('\n') + rig.trace()));
    QCOMPARE(rig.box.ctx()->transport, 1);
    QCOMPARE(rig.box.ctx()->use_net, uint8_t(1));
    const QString trace = rig.trace();
    QVERIFY(trace.contains("in serial op=1 seq=0"));   // the attach itself on the serial line
    QVERIFY2(trace.contains("in udp op=4 seq=1"), qPrintable(trace));
    QVERIFY(trace.contains("out udp op=3 seq=1 len=11 value=31337"));
    rig.box.disconnectBox();
    QVERIFY(!rig.box.udp().isBound());
}

void TestBootNet::macCheckInNamespace_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<bool>("warned");
    QTest::newRow("Morvabox MAC") << "02:4b:7d:00:00:42" << false;
    QTest::newRow("foreign MAC") << "02:11:22:33:44:55" << true;
}

void TestBootNet::macCheckInNamespace()
{
    QFETCH(QString, mac);
    QFETCH(bool, warned);
    if (::geteuid() != 0)
        QSKIP("needs root to make a network namespace with a veth pair (run the tests as root)");
    if (QStandardPaths::findExecutable("ip").isEmpty())
        QSKIP("needs the ip program: install the Debian package iproute2");
    QString simPath, why;
    if (!SimProcess::available(&simPath, &why))
        QSKIP(qPrintable(why));
    BoxNamespace net;
    if (!net.make(mac)) {
        if (!net.made)
            QSKIP(qPrintable("cannot make a network namespace here: " + net.error));
        QFAIL(qPrintable(net.error));
    }

    BootRig rig;
    SimProcess sim;
    QVERIFY2(sim.start("ip", {"netns", "exec", net.ns, simPath, "--box-ip", BoxNamespace::kBoxIp, "--trace", rig.tracePath()}, &why),
             qPrintable(why));
    rig.panel.port = sim.ptyPath;
    rig.panel.useNet = true;
    rig.panel.addresses = {BoxNamespace::kPcIp};
    rig.panel.pcIp = BoxNamespace::kPcIp;
    rig.panel.boxIp = BoxNamespace::kBoxIp;
    QCOMPARE(rig.box.connectBox(), BoxConnection::ConnectResult::Connected);

    const QString macText = mac.toUpper().replace(':', '-');
    QVERIFY2(rig.panel.log.contains("Found MAC " + macText + " for IP " + BoxNamespace::kBoxIp), qPrintable(rig.panel.log));
    QCOMPARE(rig.panel.calls.count(foreignWarning(BoxNamespace::kBoxIp)), warned ? 1 : 0);
    QCOMPARE(rig.panel.status, kPrepared);
    QVERIFY(rig.box.connected());
    if (!warned) {
        // The genuine box goes all the way: attached on the serial line, then UDP over the veth pair.
        QVERIFY2(rig.attached(), qPrintable(rig.panel.calls.join('\n') + rig.trace()));
        QCOMPARE(rig.box.ctx()->transport, 1);
        QVERIFY(rig.trace().contains("in udp op=4 seq=1"));
    }
    rig.box.disconnectBox();
}

QTEST_GUILESS_MAIN(TestBootNet)
#include "test_boot_net.moc"

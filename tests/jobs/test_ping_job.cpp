// The Ping job when its datagram cannot leave the PC: the operator is told,
// the box counts as silent, and no exception escapes into the event loop.
#include "common/recorder_panel.h"
#include "jobs/ping_job.h"
#include "link/kxtest.h"
#include "platform/serial_port.h"
#include "platform/udp_socket.h"

#include <QtTest>
#include <memory>

class TestPingJob : public QObject {
    Q_OBJECT
private slots:
    void failedSendIsReportedNotThrown()
    {
        RecorderPanel panel;
        // A socket bound to loopback cannot reach another network: the kernel
        // refuses the datagram at once, nothing goes on the wire.
        panel.boxIp = QStringLiteral("192.0.2.1");
        SerialPort serial;
        UdpSocket udp;
        udp.setLocalHost(QStringLiteral("127.0.0.1"));
        udp.setLocalPort(QStringLiteral("0"));
        QVERIFY2(udp.setBound(true), qPrintable(udp.errorText()));
        auto ctx = std::make_unique<kx_context>();
        kxtest_zero(ctx.get());
        kxtest_init(ctx.get());
        ctx->io = {&panel, &serial, &udp, QStringLiteral("KX210")};
        ctx->use_net = 1;
        ctx->transport = 1;
        ctx->link_state = 1;

        bool alive = true;
        try {
            alive = doPingJob(ctx.get());
        } catch (...) {
            QFAIL("an exception left the Ping job");
        }
        QVERIFY(!alive);
        QCOMPARE(ctx->link_state, 0);
        QVERIFY(panel.calls.filter(QStringLiteral("box:Error:")).size() == 1);
        QVERIFY(panel.calls.contains(QStringLiteral("line:Ping result: NOT OK!!!")));
        QCOMPARE(panel.calls.last(), QStringLiteral("enable:1"));
    }
};

QTEST_GUILESS_MAIN(TestPingJob)
#include "test_ping_job.moc"

#pragma once
// Runs the simulated box (morvabox-sim) as a separate process for an
// end-to-end test: starts it, reads the pseudo-terminal path and the UDP
// address from its first two lines, and stops it with SIGTERM at the end.
//
//   SimProcess sim;
//   MORVABOX_START_SIM(sim, {"--model", "KX4020"});   // QSKIP when the binary is missing
//   open sim.ptyPath ... talk to sim.boxIp on port sim.udpPort ...
//   QCOMPARE(sim.stop(), 0);
//
// Each simulator gets its own loopback address (--box-ip 127.x.y.z) unless the
// test gives one, and a PC address next to it (pcIp) for the tool to bind, so
// tests that bind UDP port 19288 can run side by side.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QtTest>

#include <csignal>
#include <utility>
#include <unistd.h>

class SimProcess {
public:
    QString ptyPath;      // the serial side the tool opens ("/dev/pts/N", or the --serial device)
    QString boxIp;        // the box's UDP address
    QString pcIp;         // an address of this PC for the tool's own UDP socket
    quint16 udpPort = 0;  // 19288

    // How long the simulator may take to print its two lines.
    static constexpr int kStartTimeoutMs = 5000;
    // How long it may take to end after SIGTERM before it is killed.
    static constexpr int kStopTimeoutMs = 5000;

    ~SimProcess() { stop(); }

    // Path of the simulator from MORVABOX_SIM; false with the reason when it is not there.
    static bool available(QString *path, QString *why)
    {
        *path = qEnvironmentVariable("MORVABOX_SIM");
        if (path->isEmpty()) {
            *why = QStringLiteral("MORVABOX_SIM is not set: run through ctest, or set it to the "
                                  "morvabox-sim binary (build/sim/morvabox-sim)");
            return false;
        }
        if (!QFileInfo(*path).isExecutable()) {
            *why = QStringLiteral("MORVABOX_SIM=%1 is not an executable: build the morvabox-sim target").arg(*path);
            return false;
        }
        return true;
    }

    // A pair of loopback addresses of its own for each simulator this test
    // process starts: the box on an even last octet, the PC on the odd one after it.
    static std::pair<QString, QString> uniqueAddresses()
    {
        static int counter = 0;
        const int pid = int(::getpid());
        const QString net = QStringLiteral("127.%1.%2.").arg(100 + (pid >> 8) % 100).arg(pid & 0xFF);
        const int box = 2 * (counter++ % 120 + 1);
        return {net + QString::number(box), net + QString::number(box + 1)};
    }

    bool start(const QString &program, QStringList args, QString *error)
    {
        pcIp = QStringLiteral("127.0.0.1");
        if (!args.contains(QLatin1String("--box-ip"))) {
            const auto [box, pc] = uniqueAddresses();
            args << QStringLiteral("--box-ip") << box;
            pcIp = pc;
        }
        proc_.setProgram(program);
        proc_.setArguments(args);
        proc_.setProcessChannelMode(QProcess::SeparateChannels);
        proc_.start();
        if (!proc_.waitForStarted(kStartTimeoutMs)) {
            *error = QStringLiteral("cannot start %1: %2").arg(program, proc_.errorString());
            return false;
        }
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (out.count('\n') < 2 && t.elapsed() < kStartTimeoutMs && proc_.state() == QProcess::Running) {
            proc_.waitForReadyRead(100);
            out += proc_.readAllStandardOutput();
        }
        const QList<QByteArray> lines = out.split('\n');
        const bool serialLine = lines.size() >= 3 && (lines[0].startsWith("pty ") || lines[0].startsWith("serial "));
        if (!serialLine || !lines[1].startsWith("udp ")) {
            proc_.waitForFinished(500);
            *error = QStringLiteral("morvabox-sim did not announce its pty and udp address; stdout \"%1\", "
                                    "stderr \"%2\"")
                         .arg(QString::fromUtf8(out), QString::fromUtf8(proc_.readAllStandardError()));
            stop();
            return false;
        }
        ptyPath = QString::fromUtf8(lines[0].mid(lines[0].indexOf(' ') + 1));
        const QByteArray udp = lines[1].mid(4);
        boxIp = QString::fromUtf8(udp.left(udp.lastIndexOf(':')));
        udpPort = quint16(udp.mid(udp.lastIndexOf(':') + 1).toUInt());
        return true;
    }

    // SIGUSR1: switch the box off and on again.
    void powerCycle()
    {
        if (proc_.state() == QProcess::Running)
            ::kill(pid_t(proc_.processId()), SIGUSR1);
    }

    // SIGTERM and wait; the exit status (3: the PC broke the protocol under --strict), -1 if killed.
    int stop()
    {
        if (proc_.state() == QProcess::NotRunning)
            return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
        proc_.terminate();
        if (!proc_.waitForFinished(kStopTimeoutMs)) {
            proc_.kill();
            proc_.waitForFinished(kStopTimeoutMs);
            return -1;
        }
        return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
    }

    QByteArray standardError() { return proc_.readAllStandardError(); }
    QProcess &process() { return proc_; }

private:
    QProcess proc_;
};

// Starts the simulator or skips the test (binary missing) or fails it (did not start).
#define MORVABOX_START_SIM(sim, ...)                                                            \
    do {                                                                                        \
        QString simPath_, simWhy_;                                                              \
        if (!SimProcess::available(&simPath_, &simWhy_))                                        \
            QSKIP(qPrintable(simWhy_));                                                         \
        QVERIFY2((sim).start(simPath_, QStringList __VA_ARGS__, &simWhy_), qPrintable(simWhy_)); \
    } while (0)

// morvaup-cli: from power-on to an attached box, from a terminal or a script.

#include "boot/connection.h"
#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "cli/terminal_panel.h"
#include "link/kxtest_log.h"
#include "texts/lang_text.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>

#ifndef Q_OS_WIN
#include <grp.h>
#include <sys/stat.h>
#endif

namespace {

constexpr int kPollMs = 100;   // how often the wait looks at the clock when nothing happens
// From the banner to the attach's end: the KX4020's 103 KB loader takes about
// 11 s at 115200 baud, the attach with its retransmissions and two Pings at
// most about 20 s more.
constexpr int kBootLimitMs = 120000;

QString deviceGroupHint(const QString &port)
{
#ifndef Q_OS_WIN
    const QString path = port.startsWith(QLatin1Char('/')) ? port : QStringLiteral("/dev/") + port;
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    const group *g = ::getgrgid(st.st_gid);
    if (g && (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP))
        return QStringLiteral("; join the group \"%1\" (sudo usermod -aG %1 $USER, then log in again)")
            .arg(QString::fromLocal8Bit(g->gr_name));
    return QStringLiteral("; only its owner may use it: ask the administrator for access");
#else
    Q_UNUSED(port);
#endif
    return QString();
}

// The error box has said why the port failed; for missing permission the
// terminal also says which group gives it.
int portFailure(TerminalPanel &panel, SerialPort &port, const QString &name)
{
    if (port.failure() == SerialPort::OpenFailure::PermissionDenied)
        panel.error(QStringLiteral("morvaup-cli: ") + port.errorText() + deviceGroupHint(name));
    return EXIT_PORT_UNUSABLE;
}

int runPing(const CliOptions &options)
{
    TerminalPanel panel(options);
    BoxConnection box(&panel);
    panel.setContext(box.ctx());

    switch (box.connectBox()) {
    case BoxConnection::ConnectResult::Connected:
        break;
    case BoxConnection::ConnectResult::PortFailed:
        return portFailure(panel, box.comPort(), options.port);
    case BoxConnection::ConnectResult::BadPcIp:
        panel.error(QStringLiteral("morvaup-cli: --pc-ip %1 is not an address of this PC; it has: %2")
                        .arg(options.pcIp, panel.localAddresses().join(QLatin1String(", "))));
        box.comPort().close();
        return EXIT_BAD_NETWORK;
    case BoxConnection::ConnectResult::BadBoxIp:
        panel.error(QStringLiteral("morvaup-cli: --box-ip %1 is not a dotted-quad IPv4 address").arg(options.boxIp));
        box.comPort().close();
        return EXIT_BAD_NETWORK;
    }

    const QString ready = LangText(61, QStringLiteral("Box attached and ready"));
    const QString aborted = LangText(60, QStringLiteral("Box doesn't answer, attach aborted!"));
    QElapsedTimer clock;
    clock.start();
    qint64 recognisedAt = -1;
    int exitCode = -1;
    while (exitCode < 0) {
        if (panel.terminated()) {
            panel.error(QStringLiteral("morvaup-cli: the serial port %1 failed during the loader upload").arg(options.port));
            exitCode = EXIT_PORT_UNUSABLE;
        } else if (panel.statusText() == ready) {
            exitCode = panel.pingOk() ? EXIT_READY : EXIT_NO_ANSWER;
        } else if (panel.statusText() == aborted) {
            panel.error(QStringLiteral("morvaup-cli: the box did not answer the attach or the Ping"));
            exitCode = EXIT_NO_ANSWER;
        } else if (box.bootStep() == 0 && clock.elapsed() > qint64(options.waitBoxSeconds) * 1000) {
            panel.error(QStringLiteral("morvaup-cli: no box was switched on within %1 s (no boot banner on %2)")
                            .arg(options.waitBoxSeconds).arg(options.port));
            exitCode = EXIT_NO_BOX;
        } else if (recognisedAt >= 0 && clock.elapsed() - recognisedAt > kBootLimitMs) {
            panel.error(QStringLiteral("morvaup-cli: the %1 stopped answering during the boot dialogue (step %2)")
                            .arg(box.modelName()).arg(box.bootStep()));
            exitCode = EXIT_NO_ANSWER;
        } else {
            if (recognisedAt < 0 && box.bootStep() > 0)
                recognisedAt = clock.elapsed();
            panel.waitForEvent(kPollMs);
        }
    }
    if (box.connected())
        box.disconnectBox();
    return exitCode;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvaup-cli"));

    CliOptions options;
    QString message;
    bool helpAsked = false;
    if (!parseCliOptions(QCoreApplication::arguments(), &options, &message, &helpAsked)) {
        if (helpAsked) {
            std::fputs(message.toLocal8Bit().constData(), stdout);
            return EXIT_READY;
        }
        std::fprintf(stderr, "morvaup-cli: %s\nTry morvaup-cli --help.\n", message.toLocal8Bit().constData());
        return EXIT_BAD_ARGUMENTS;
    }
    // Never the window's stored settings: the language comes from --lang or the system.
    CurrentLanguage = !options.language.isEmpty() ? options.language
                      : QLocale::system().language() == QLocale::German ? QStringLiteral("GER")
                                                                         : QStringLiteral("ENG");
    DebugLevel = options.debugLevel;
    return runPing(options);
}

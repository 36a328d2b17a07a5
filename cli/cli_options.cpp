#include "cli/cli_options.h"

#include "platform/version.h"

#include <QCommandLineParser>

namespace {

const char kDescription[] =
    "Drives a Morvabox over its serial line (and UDP in network mode) with the same\n"
    "engine as the window.\n"
    "\n"
    "Commands:\n"
    "  ping   connect, wait for the box to be switched on, recognise it, upload its\n"
    "         flash-loader, attach, and report the Ping that the attach runs.\n"
    "\n"
    "Exit status: 0 box attached and ready (Ping OK); 1 the box did not answer\n"
    "(attach or Ping failed); 2 bad arguments; 3 the serial port cannot be used\n"
    "(missing, in use, no permission) or failed during the upload; 4 no box\n"
    "switched on within the wait; 5 bad network settings.\n"
    "\n"
    "Log lines and status texts go to stdout, errors and warnings to stderr.";

constexpr int kMaxDebugLevel = 4;   // the protocol log's most detailed level

bool fail(QString *message, const QString &text)
{
    *message = text;
    return false;
}

} // namespace

bool parseCliOptions(const QStringList &args, CliOptions *out, QString *message, bool *helpAsked)
{
    *helpAsked = false;
    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the program's version and exit."));
    const QCommandLineOption port(QStringLiteral("port"),
        QStringLiteral("Serial port of the box: a name such as ttyUSB0 or COM1, or a device path such as /dev/pts/3. Required."),
        QStringLiteral("DEVICE"));
    const QCommandLineOption net(QStringLiteral("net"),
        QStringLiteral("Network mode: after the attach the box is driven over UDP (port 19288); needs --pc-ip and --box-ip."));
    const QCommandLineOption pcIp(QStringLiteral("pc-ip"),
        QStringLiteral("The PC's own IPv4 address for network mode; must be one of this PC's addresses."), QStringLiteral("A"));
    const QCommandLineOption boxIp(QStringLiteral("box-ip"),
        QStringLiteral("The box's IPv4 address for network mode (dotted quad)."), QStringLiteral("B"));
    const QCommandLineOption waitBox(QStringLiteral("wait-box"),
        QStringLiteral("Seconds to wait for the box to be switched on (default 60)."), QStringLiteral("SECONDS"));
    const QCommandLineOption debugLevel(QStringLiteral("debug-level"),
        QStringLiteral("Protocol log detail, 0 (none, as the window) to 4 (every frame); for service work."),
        QStringLiteral("N"));
    const QCommandLineOption lang(QStringLiteral("lang"),
        QStringLiteral("Language of the operator texts: ENG or GER (default: the system's language)."),
        QStringLiteral("ENG|GER"));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Answer every question of the command with Yes."));
    const QCommandLineOption no(QStringLiteral("no"),
        QStringLiteral("Answer every question of the command with No (also the answer when neither is given)."));
    p.addOptions({help, version, port, net, pcIp, boxIp, waitBox, debugLevel, lang, yes, no});
    p.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do: ping."));

    if (!p.parse(args))
        return fail(message, p.errorText());
    if (p.isSet(help)) {
        *helpAsked = true;
        return fail(message, p.helpText());
    }
    if (p.isSet(version)) {
        *helpAsked = true;
        return fail(message, QStringLiteral(MORVAUP_PRODUCT_NAME " command line " MORVAUP_FILE_VERSION "\n"));
    }
    const QStringList positional = p.positionalArguments();
    if (positional.size() != 1)
        return fail(message, positional.isEmpty() ? QStringLiteral("No command given; the command is: ping.")
                                                  : QStringLiteral("Only one command at a time: %1").arg(positional.join(' ')));
    if (positional[0] != QLatin1String("ping"))
        return fail(message, QStringLiteral("Unknown command \"%1\"; the command is: ping.").arg(positional[0]));
    out->command = positional[0];

    if (!p.isSet(port) || p.value(port).isEmpty())
        return fail(message, QStringLiteral("--port DEVICE is required."));
    out->port = p.value(port);

    out->useNet = p.isSet(net);
    out->pcIp = p.value(pcIp);
    out->boxIp = p.value(boxIp);
    if (out->useNet && (out->pcIp.isEmpty() || out->boxIp.isEmpty()))
        return fail(message, QStringLiteral("--net needs --pc-ip and --box-ip."));
    if (!out->useNet && (p.isSet(pcIp) || p.isSet(boxIp)))
        return fail(message, QStringLiteral("--pc-ip and --box-ip only count with --net."));

    if (p.isSet(waitBox)) {
        bool ok = false;
        out->waitBoxSeconds = p.value(waitBox).toInt(&ok);
        if (!ok || out->waitBoxSeconds <= 0)
            return fail(message, QStringLiteral("--wait-box wants a whole number of seconds above 0, not \"%1\".").arg(p.value(waitBox)));
    }
    if (p.isSet(debugLevel)) {
        bool ok = false;
        out->debugLevel = p.value(debugLevel).toInt(&ok);
        if (!ok || out->debugLevel < 0 || out->debugLevel > kMaxDebugLevel)
            return fail(message, QStringLiteral("--debug-level wants 0 to %1, not \"%2\".").arg(kMaxDebugLevel).arg(p.value(debugLevel)));
    }
    if (p.isSet(lang)) {
        out->language = p.value(lang).toUpper();
        if (out->language != QLatin1String("ENG") && out->language != QLatin1String("GER"))
            return fail(message, QStringLiteral("--lang wants ENG or GER, not \"%1\".").arg(p.value(lang)));
    }
    if (p.isSet(yes) && p.isSet(no))
        return fail(message, QStringLiteral("--yes and --no exclude each other."));
    out->answer = p.isSet(yes) ? CliOptions::Answer::Yes : p.isSet(no) ? CliOptions::Answer::No : CliOptions::Answer::Ask;
    return true;
}

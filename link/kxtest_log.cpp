#include "link/kxtest_log.h"

#include "link/panel.h"

#include <QTime>

int DebugLevel = 0;

namespace {
// Set once the protocol log has written a time-stamped line: from then on every
// time of day carries milliseconds, operator lines included.
bool g_millisecondFormat = false;
const QString kMsFormat = QStringLiteral("hh:mm:ss.zzz");
const QString kSecFormat = QStringLiteral("hh:mm:ss");
}

void kxtest_log(Panel *panel, int level, const QString &text, bool newline)
{
    if (level > DebugLevel || !panel)
        return;
    QString out;
    if (text.startsWith(QLatin1String("server:")) || text.startsWith(QLatin1String("client"))) {
        g_millisecondFormat = true;
        out = QTime::currentTime().toString(kMsFormat) + QLatin1Char(' ') + text;
    } else if (text == QLatin1String("\r")) {
        out = QStringLiteral("\r\n");
    } else if (text == QLatin1String("\n")) {
        return;   // a received line feed is dropped; "\r" already ended the line
    } else {
        out = text;
    }
    if (newline)
        out += QLatin1String("\r\n");
    panel->appendLog(out);
}

QString timeOfDay()
{
    return QTime::currentTime().toString(g_millisecondFormat ? kMsFormat : kSecFormat);
}

QString logLineText(const QString &text) { return timeOfDay() + QLatin1Char(' ') + text; }

void resetTimeFormat() { g_millisecondFormat = false; }

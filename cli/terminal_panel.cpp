#include "cli/terminal_panel.h"

#include "jobs/ping_job.h"
#include "link/kxtest_log.h"
#include "platform/local_addresses.h"


#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {
constexpr int kBarWidth = 30;   // characters of the progress bar
// Memo texts end lines with "\r\n"; a terminal wants "\n".
QString unixLines(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}
}

TerminalPanel::TerminalPanel(const CliOptions &options)
    : m_options(options), m_tty(isatty(fileno(stdout)) != 0)
{
}

void TerminalPanel::out(const QString &text)
{
    if (text.isEmpty())
        return;
    endProgressLine();
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    m_atLineStart = text.endsWith(QLatin1Char('\n'));
}

void TerminalPanel::outLine(const QString &text)
{
    out((m_atLineStart ? QString() : QStringLiteral("\n")) + unixLines(text) + QLatin1Char('\n'));
}

void TerminalPanel::endProgressLine()
{
    if (m_barShown) {
        std::fputs("\n", stdout);
        m_barShown = false;
        m_atLineStart = true;
    }
}

void TerminalPanel::error(const QString &text)
{
    endProgressLine();
    if (!m_atLineStart)
        out(QStringLiteral("\n"));
    std::fputs(unixLines(text).toLocal8Bit().constData(), stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
}

void TerminalPanel::appendLog(const QString &text)
{
    out(unixLines(text));
}

void TerminalPanel::AddLogLine(const QString &text)
{
    outLine(logLineText(text));
}

void TerminalPanel::SetStatusText(const QString &text, bool)
{
    m_status = text;
    if (!text.isEmpty())
        outLine(QStringLiteral("status: ") + text);
}

void TerminalPanel::setProgressMax(int max)
{
    m_progressMax = max;
}

void TerminalPanel::setProgressPos(int pos)
{
    if (pos <= 0 || m_progressPos <= 0) {   // a new run of the bar
        m_progressClock.start();
        m_lastReportedTenth = 0;
        m_lastDrawnPos = -1;
    }
    m_progressPos = pos;
    if (pos > 0 && m_progressMax > 0)
        drawProgress();
}

void TerminalPanel::drawProgress()
{
    const int pos = qMin(m_progressPos, m_progressMax);
    const double seconds = qMax<qint64>(m_progressClock.elapsed(), 1) / 1000.0;
    const double kibPerSecond = pos / 1024.0 / seconds;
    const int percent = int(qint64(pos) * 100 / m_progressMax);
    if (m_tty) {
        if (pos == m_lastDrawnPos)
            return;
        m_lastDrawnPos = pos;
        const int filled = int(qint64(pos) * kBarWidth / m_progressMax);
        const QString bar = QString(filled, QLatin1Char('#')) + QString(kBarWidth - filled, QLatin1Char('.'));
        if (!m_atLineStart && !m_barShown)
            std::fputs("\n", stdout);
        std::fputs(QStringLiteral("\r[%1] %2% %3/%4 bytes %5 KiB/s ")
                       .arg(bar).arg(percent, 3).arg(pos).arg(m_progressMax).arg(kibPerSecond, 0, 'f', 1)
                       .toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        m_barShown = true;
        if (pos == m_progressMax)
            endProgressLine();
        return;
    }
    const int tenth = percent / 10;
    if (tenth <= m_lastReportedTenth)
        return;
    m_lastReportedTenth = tenth;
    outLine(QStringLiteral("progress: %1% (%2 of %3 bytes, %4 KiB/s)")
                .arg(percent).arg(pos).arg(m_progressMax).arg(kibPerSecond, 0, 'f', 1));
}

void TerminalPanel::setPanelText(int index, const QString &text)
{
    if (index >= 0 && index < 3)
        m_panels[index] = text;
}

QString TerminalPanel::panelText(int index) const
{
    return index >= 0 && index < 3 ? m_panels[index] : QString();
}

bool TerminalPanel::messageBox(MsgKind kind, const QString &text)
{
    switch (kind) {
    case MsgKind::Error:
        // A box's blank line between the text and its reason reads as a gap here.
        error(QStringLiteral("error: ") + unixLines(text).replace(QLatin1String("\n\n"), QLatin1String("\n")));
        return true;
    case MsgKind::Warning:
        error(QStringLiteral("warning: ") + text);
        return true;
    case MsgKind::Information:
        outLine(text);
        return true;
    case MsgKind::Question:
        break;
    }
    // Never wait for a person: the flags answer, and without them the answer is No.
    const bool yes = m_options.answer == CliOptions::Answer::Yes;
    const char *how = m_options.answer == CliOptions::Answer::Ask ? "no (pass --yes to answer yes)"
                      : yes                                       ? "yes (--yes)"
                                                                  : "no (--no)";
    outLine(text + QStringLiteral("\nanswered: %1").arg(QLatin1String(how)));
    return yes;
}

QStringList TerminalPanel::localAddresses() const
{
    QStringList list;
    ListLocalAddresses(list);
    return list;
}

void TerminalPanel::ButtonPingClick()
{
    m_pingRan = true;
    m_pingOk = m_ctx && doPingJob(m_ctx);
}

#pragma once
// The panel of the command line: log lines and status texts on stdout, errors
// and warnings on stderr, the upload progress as a bar on a terminal and as
// plain lines on a pipe, questions answered by --yes/--no.

#include "cli/cli_options.h"
#include "link/panel.h"

#include <QElapsedTimer>

struct kx_context;

class TerminalPanel : public Panel {
public:
    explicit TerminalPanel(const CliOptions &options);

    void setContext(kx_context *ctx) { m_ctx = ctx; }

    void appendLog(const QString &text) override;
    void AddLogLine(const QString &text) override;
    void SetStatusText(const QString &text, bool repaint = true) override;
    QString statusText() const override { return m_status; }
    void setProgressMax(int max) override;
    int progressMax() const override { return m_progressMax; }
    void setProgressPos(int pos) override;
    int progressPos() const override { return m_progressPos; }
    void setPanelText(int index, const QString &text) override;
    QString panelText(int index) const override;
    void clearLog() override {}
    bool messageBox(MsgKind kind, const QString &text) override;

    bool useNetChecked() const override { return m_options.useNet; }
    QString pcIpText() const override { return m_options.pcIp; }
    QString boxIpText() const override { return m_options.boxIp; }
    QStringList localAddresses() const override;
    QString comPortName() const override { return m_options.port; }

    void ButtonPingClick() override;
    void terminateApplication() override { m_terminated = true; }

    // What the command waits for.
    bool pingRan() const { return m_pingRan; }
    bool pingOk() const { return m_pingOk; }
    bool terminated() const { return m_terminated; }

    // A line on stderr (ends the progress bar first).
    void error(const QString &text);

private:
    void out(const QString &text);
    // `text` as a line of its own (memo "\r\n" line ends become "\n").
    void outLine(const QString &text);
    void endProgressLine();
    void drawProgress();

    CliOptions m_options;
    kx_context *m_ctx = nullptr;
    QString m_status;
    QString m_panels[3];
    int m_progressMax = 100, m_progressPos = 0;
    bool m_tty = false;
    bool m_barShown = false;     // a progress bar occupies the current terminal line
    bool m_atLineStart = true;   // stdout's last character was a line end
    int m_lastReportedTenth = 0; // pipe: progress reported in steps of 10 %
    int m_lastDrawnPos = -1;     // terminal: the position the bar shows
    QElapsedTimer m_progressClock;
    bool m_pingRan = false, m_pingOk = false, m_terminated = false;
};

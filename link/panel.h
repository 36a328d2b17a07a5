#pragma once
// The operator panel: the one way from the engine, the boot code and the jobs up
// to a front end. The window implements it with widgets, the command line with a
// terminal, the tests with a recorder.

#include <QString>
#include <QStringList>

class Panel {
public:
    virtual ~Panel() = default;

    // --- feedback -------------------------------------------------------
    // Appends raw text to the log memo; "\r\n" ends a line. kxtest_log writes
    // through this, piece by piece.
    virtual void appendLog(const QString &text) = 0;
    // One new memo line: time of day, a blank, the text (see logLineText()).
    virtual void AddLogLine(const QString &text) = 0;
    // Status line; repaint=false only sets the caption.
    virtual void SetStatusText(const QString &text, bool repaint = true) = 0;
    virtual QString statusText() const = 0;
    // Progress bar (minimum is always 0).
    virtual void setProgressMax(int max) = 0;
    virtual int progressMax() const = 0;
    virtual void setProgressPos(int pos) = 0;
    virtual int progressPos() const = 0;
    void stepProgress(int step) { setProgressPos(progressPos() + step); }
    // Status-bar panels 0..2.
    virtual void setPanelText(int index, const QString &text) = 0;
    virtual QString panelText(int index) const = 0;
    // Redraws the window at once.
    virtual void repaint() {}
    // Empties the log memo (Connect).
    virtual void clearLog() = 0;

    enum class MsgKind { Error, Warning, Information, Question };
    // Modal message box; returns true for OK, and for a question true only on Yes.
    virtual bool messageBox(MsgKind kind, const QString &text) = 0;
    // File choosers; an empty result means cancelled. `filter` is in Qt's syntax.
    virtual QString chooseImageToOpen(const QString &filter) { Q_UNUSED(filter); return {}; }
    virtual QString chooseBackupToSave(const QString &filter) { Q_UNUSED(filter); return {}; }

    // --- the pump -------------------------------------------------------
    // Processes all pending events once and returns (never blocks).
    virtual void doEvents();
    // Blocks in the event loop until the next event arrives or `ms` passed.
    virtual void waitForEvent(int ms);

    // --- what the engine reads of the front end ---------------------------
    virtual bool useNetChecked() const = 0;   // the "Use Network" check box
    virtual QString pcIpText() const = 0;     // PcIP
    virtual QString boxIpText() const = 0;    // BoxIP
    virtual QStringList localAddresses() const { return {}; } // CBox_IPs entries
    virtual QString comPortName() const = 0;  // the chosen serial port or device path

    // --- what the engine triggers in the front end ----------------------
    virtual void EnableButtons(bool enable) { Q_UNUSED(enable); }
    virtual void setPingEnabled(bool enabled) { Q_UNUSED(enabled); }
    // Connect succeeded (true) or Disconnect ran (false): the front end shows
    // "Disconnect"/"Connect", withdraws or offers Exit and the network choice.
    virtual void connectionChanged(bool connected) { Q_UNUSED(connected); }
    // Runs the Ping job (its body is jobs/ping_job); the attach sequence calls it.
    virtual void ButtonPingClick() = 0;
    // The program is asked to end (after a failed write during the loader upload).
    virtual void terminateApplication() {}
};

#pragma once
// A panel for tests: keeps every call in order and answers questions from a
// script, so no test ever waits for a person.

#include "link/kxtest_log.h"
#include "link/panel.h"

#include <QStringList>
#include <functional>

class RecorderPanel : public Panel {
public:
    QString log;                 // everything appended to the memo
    QStringList calls;           // "status:..", "box:Error:..", "enable:1", ...
    QString status;
    QString panels[3];
    int progMax = 100, progPos = 0;
    bool useNet = false;
    QString pcIp, boxIp, port;
    QStringList addresses;
    QList<bool> answers;         // answers to message boxes, taken in order; default true
    QString openFile, saveFile;  // what the file choosers return
    std::function<void()> onPing;    // what ButtonPingClick runs
    int pumps = 0;

    void appendLog(const QString &t) override { log += t; }
    void AddLogLine(const QString &t) override {
        if (!log.isEmpty() && !log.endsWith(QLatin1String("\r\n")))
            log += QLatin1String("\r\n");
        log += logLineText(t) + QLatin1String("\r\n");
        calls << QLatin1String("line:") + t;
    }
    void SetStatusText(const QString &t, bool repaint) override {
        status = t;
        calls << QString(QLatin1String("status%1:")).arg(repaint ? QString() : QStringLiteral("(norepaint)")) + t;
    }
    QString statusText() const override { return status; }
    void setProgressMax(int m) override { progMax = m; }
    int progressMax() const override { return progMax; }
    void setProgressPos(int p) override { progPos = p; }
    int progressPos() const override { return progPos; }
    void setPanelText(int i, const QString &t) override { panels[i] = t; }
    QString panelText(int i) const override { return panels[i]; }
    void clearLog() override { log.clear(); calls << QStringLiteral("clearLog"); }
    bool messageBox(MsgKind k, const QString &t) override {
        static const char *names[] = {"Error", "Warning", "Information", "Question"};
        calls << QStringLiteral("box:%1:%2").arg(QLatin1String(names[int(k)]), t);
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    QString chooseImageToOpen(const QString &f) override { calls << QLatin1String("open:") + f; return openFile; }
    QString chooseBackupToSave(const QString &f) override { calls << QLatin1String("save:") + f; return saveFile; }
    void doEvents() override { ++pumps; Panel::doEvents(); }
    bool useNetChecked() const override { return useNet; }
    QString pcIpText() const override { return pcIp; }
    QString boxIpText() const override { return boxIp; }
    QStringList localAddresses() const override { return addresses; }
    QString comPortName() const override { return port; }
    void EnableButtons(bool e) override { calls << QStringLiteral("enable:%1").arg(e); }
    void setPingEnabled(bool e) override { calls << QStringLiteral("pingEnabled:%1").arg(e); }
    void connectionChanged(bool c) override { calls << QStringLiteral("connected:%1").arg(c); }
    void ButtonPingClick() override { calls << QStringLiteral("ping"); if (onPing) onPing(); }
    void terminateApplication() override { calls << QStringLiteral("terminate"); }
};

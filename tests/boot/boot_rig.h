#pragma once
// A connection to the simulated box as the window would make it: the recorder
// panel (its Ping runs the real Ping job), the connection, the simulator's
// trace, and waiting while the event loop runs.

#include "boot/connection.h"
#include "platform/ip_address.h"
#include "common/recorder_panel.h"
#include "common/sim_process.h"
#include "jobs/ping_job.h"
#include "link/kxtest_log.h"
#include "texts/lang_text.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

// The recorder panel, plus the steps of the upload's progress and a hook that
// runs inside the upload loop (where a nested click would arrive).
class BootPanel : public RecorderPanel {
public:
    QList<int> uploadSteps;
    std::function<void(int)> onProgress;
    void setProgressPos(int p) override
    {
        if (p > progPos && status == QLatin1String("uploading flash-loader..."))
            uploadSteps << p - progPos;
        RecorderPanel::setProgressPos(p);
        if (onProgress)
            onProgress(p);
    }
};

constexpr int kBootWaitMs = 30000;   // power-on to attached is ~3 s at full speed; generous for a loaded machine
const QString kReady = QStringLiteral("Box attached and ready");
const QString kAborted = QStringLiteral("Box doesn't answer, attach aborted!");

struct BootRig {
    QTemporaryDir dir;
    BootPanel panel;
    BoxConnection box{&panel};

    BootRig()
    {
        CurrentLanguage = QStringLiteral("ENG");
        panel.onPing = [this] { doPingJob(box.ctx()); };
    }
    QString tracePath() const { return dir.filePath(QStringLiteral("trace.log")); }
    QString trace() const
    {
        QFile f(tracePath());
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }
    // Runs the event loop until `done` holds or `ms` passed.
    bool waitUntil(const std::function<bool()> &done, int ms = kBootWaitMs)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            panel.waitForEvent(50);
        return done();
    }
    bool waitForStatus(const QString &text, int ms = kBootWaitMs)
    {
        return waitUntil([&] { return panel.calls.contains(QStringLiteral("status:") + text); }, ms);
    }
    bool attached() { return waitUntil([&] { return panel.status == kReady || panel.status == kAborted; }) && panel.status == kReady; }
};

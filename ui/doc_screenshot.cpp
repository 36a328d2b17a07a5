// Pictures of the window for the documentation, taken without an operator.
#include "ui/doc_screenshot.h"

#include "texts/lang_text.h"
#include "ui/main_window.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int kSettleMs = 500;           // the window has been laid out and painted
constexpr int kPollMs = 100;             // how often the status line is looked at
constexpr int kAttachTimeoutMs = 60000;  // power-on to attached is a few seconds; generous under xvfb

void saveAndEnd(TForm1 &window, const QImage &picture, const QString &file)
{
    if (!picture.save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        QCoreApplication::exit(1);
        return;
    }
    window.Bt_ExitClick();
}

} // namespace

void screenshotWhenShown(TForm1 &window, const QString &file)
{
    QTimer::singleShot(kSettleMs, &window, [&window, file] { saveAndEnd(window, window.grab().toImage(), file); });
}

void screenshotWhenAttached(TForm1 &window, const QString &file)
{
    TForm1::setMessageBoxHook([](Panel::MsgKind, const QString &text) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
        return std::optional<bool>(false);
    });
    QTimer::singleShot(kSettleMs, &window, [&window, file] {
        window.Bt_StartStopClick();
        auto *poll = new QTimer(&window);
        const QDeadlineTimer deadline(kAttachTimeoutMs);
        QObject::connect(poll, &QTimer::timeout, &window, [&window, file, poll, deadline] {
            const bool ready = window.statusText() == LangText(61, QStringLiteral("Box attached and ready"));
            if (!ready && !deadline.hasExpired())
                return;
            poll->stop();
            if (!ready) {
                std::fprintf(stderr, "the box did not attach within %d ms; status \"%s\"\n", kAttachTimeoutMs,
                             qPrintable(window.statusText()));
                window.Bt_StartStopClick();   // Disconnect
                QCoreApplication::exit(1);
                return;
            }
            // One more pause so that the last log lines and the status are painted.
            QTimer::singleShot(kSettleMs, &window, [&window, file] {
                const QImage picture = window.grab().toImage();
                window.Bt_StartStopClick();   // Disconnect: the box is switched off
                saveAndEnd(window, picture, file);
            });
        });
        poll->start(kPollMs);
    });
}

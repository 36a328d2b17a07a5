// The program's entry: the application, the main window, the message loop.
//   morvaup [--port PATH]     PATH is offered in the port chooser and selected
//                             (pseudo-terminals and symlinks are not listed by the system)
#include "ui/main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Universal MorvaUP"));

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Serial device path to offer and select."),
                                  QStringLiteral("PATH"));
    // Hidden: saves a picture of the window once it is shown, then ends (docs/).
    QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("FILE"));
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(port);
    parser.addOption(screenshot);
    parser.process(app);

    StartOptions options = StartOptions::fromSystem();
    options.extraPort = parser.value(port);
    int rc;
    {
        TForm1 window(options);
        window.show();
        if (parser.isSet(screenshot)) {
            const QString file = parser.value(screenshot);
            QTimer::singleShot(500, &window, [&window, file] {
                window.grab().save(file);
                window.Bt_ExitClick();
            });
        }
        rc = app.exec();
    }   // the window is destroyed here: the settings are saved
    return rc;
}

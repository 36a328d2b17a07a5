// The program's entry: the application, the main window, the message loop.
//   morvaup [--port PATH]     PATH is offered in the port chooser and selected
//                             (pseudo-terminals and symlinks are not listed by the system)
// Hidden, for the pictures in docs/ (scripts/screenshots.sh):
//   --screenshot FILE           saves a picture of the window once shown, then ends
//   --screenshot-attached FILE  clicks Connect, saves a picture once the box is
//                               attached and ready, disconnects and ends
#include "ui/doc_screenshot.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Universal MorvaUP"));

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Serial device path to offer and select."),
                                  QStringLiteral("PATH"));
    // Hidden: tools for the pictures in docs/.
    QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("FILE"));
    QCommandLineOption screenshotAttached(QStringLiteral("screenshot-attached"), QString(), QStringLiteral("FILE"));
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    screenshotAttached.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(port);
    parser.addOption(screenshot);
    parser.addOption(screenshotAttached);
    parser.process(app);

    StartOptions options = StartOptions::fromSystem();
    options.extraPort = parser.value(port);
    int rc;
    {
        TForm1 window(options);
        window.show();
        if (parser.isSet(screenshot))
            screenshotWhenShown(window, parser.value(screenshot));
        else if (parser.isSet(screenshotAttached))
            screenshotWhenAttached(window, parser.value(screenshotAttached));
        rc = app.exec();
    }   // the window is destroyed here: the settings are saved
    return rc;
}

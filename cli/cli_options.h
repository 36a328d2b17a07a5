#pragma once
// The command line of morvaup-cli.

#include <QString>
#include <QStringList>

struct CliOptions {
    QString command;          // "ping"
    QString port;
    bool useNet = false;
    QString pcIp, boxIp;
    int waitBoxSeconds = 60;  // how long the box may take to be switched on
    int debugLevel = 0;
    QString language;         // "ENG", "GER", or empty for the system's
    enum class Answer { Ask, Yes, No } answer = Answer::Ask;
};

// Parses `args` (program name first). On success returns true. Otherwise
// `message` holds the help text (and `helpAsked` is set) or the error.
bool parseCliOptions(const QStringList &args, CliOptions *out, QString *message, bool *helpAsked);

#pragma once
// The protocol log: levelled trace lines into the log memo.

#include <QString>

class Panel;

// Threshold: a piece of level L is written only when L <= DebugLevel.
extern int DebugLevel;

// Appends `text` to the panel's log if `level` allows it; "\r\n" follows when
// `newline` is true. Texts starting with "server:" or "client" get a time stamp.
void kxtest_log(Panel *panel, int level, const QString &text, bool newline);

// The time of day as operator lines show it: "hh:mm:ss", or "hh:mm:ss.zzz"
// once the protocol log has written a time-stamped line.
QString timeOfDay();
// An operator line as AddLogLine composes it: time of day, a blank, the text.
QString logLineText(const QString &text);
// Back to the system's time format (tests).
void resetTimeFormat();

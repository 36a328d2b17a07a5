#pragma once
// Pictures of the window for the documentation (scripts/screenshots.sh): the
// window as started, or attached to a box after an automatic Connect.

#include <QString>

class TForm1;

// Saves a picture of `window` to `file` once it is shown, then ends the program.
void screenshotWhenShown(TForm1 &window, const QString &file);

// Clicks Connect, waits until the box is attached and ready, saves a picture of
// `window` to `file`, disconnects and ends the program; exit status 1 and no
// picture when the box does not attach in time. Message boxes are not shown
// (nobody is there to answer them): their text goes to standard error.
void screenshotWhenAttached(TForm1 &window, const QString &file);

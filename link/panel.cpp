#include "link/panel.h"

#include <QCoreApplication>
#include <QTimer>

void Panel::doEvents()
{
    QCoreApplication::processEvents();
}

void Panel::waitForEvent(int ms)
{
    // The timer lives only as long as this wait; it wakes the event loop at the
    // deadline when nothing else arrives.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(ms);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

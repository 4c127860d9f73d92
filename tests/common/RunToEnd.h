#pragma once

#include "checker/CheckRun.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

// Starts a run and serves the event loop until it is over, finished or stopped; false when it was still going
// after a minute.
inline bool runToEnd(CheckRun &run, CheckRows::Mode mode = CheckRows::Mode::All)
{
    run.start(mode);
    const QDeadlineTimer deadline(60000);
    while (run.isRunning() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return !run.isRunning();
}

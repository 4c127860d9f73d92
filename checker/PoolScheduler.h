#pragma once

#include "checker/Scheduler.h"

#include <QTimer>

// The command line's schedule: at most probesAtOnce probes are open at any time, and a new one starts as soon as
// one ends, so that the run never waits on its slowest proxy. Each probe has the timeout from its own start.
// After Abort, or when this machine runs out of sockets, no probe starts and those under way finish.
class PoolScheduler : public Scheduler
{
    Q_OBJECT

public:
    PoolScheduler(ProbeSet &probes, CheckRows &rows, const Clock &clock);

protected:
    void begin() override;
    void deadlinePassed() override;

private:
    // Starts probes until the pool is full or no row may start.
    void refill();
    // Waits for the oldest probe's deadline; the run is over when none is open.
    void waitForOldest();

    bool m_refilling = false;
    // The rest of a refill that started its share for one turn of the event loop.
    QTimer m_nextTurn;
    // Since the last turn that began with m_nextTurn.
    int m_startsThisTurn = 0;
};

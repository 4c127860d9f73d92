#pragma once

#include "checker/Scheduler.h"

// The window's schedule: the rows of the run go out to probes in batches of probesAtOnce; each batch's probes work
// for the timeout, then every probe still open is marked "Timeout". Abort is honoured after the batch under way,
// and so is a machine out of sockets.
class BatchScheduler : public Scheduler
{
    Q_OBJECT

public:
    using Scheduler::Scheduler;

protected:
    void begin() override { startBatch(); }
    void deadlinePassed() override;

private:
    void startBatch();
};

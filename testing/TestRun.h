#pragma once

#include "SlotScheduler.h"
#include "SteadyClock.h"
#include "TestRows.h"

#include <QObject>

class ProxyTableModel;
class StatusPanels;
class TestRunHost;
struct RunControl;

// A test run, as the three test commands start it: lock the window, reset the rows of the run, probe them batch
// by batch, unlock, recount, and tell the user.
class TestRun : public QObject
{
    Q_OBJECT

public:
    // clock: what batches are measured by; the system's monotonic clock when null.
    TestRun(ProxyTableModel &table, StatusPanels &panels, RunControl &run, TestRunHost &host,
            const Clock *clock = nullptr, QObject *parent = nullptr);

    // index: 0 all rows, 1 the untested, 2 the selected. Returns when the run is over, or at once on an empty table.
    void run(int index);
    // Ends a run in progress where it stands: no row is judged any more, every socket is released and neither the
    // unlocking nor the completion message follows. For a program that is about to end.
    void stop();

    void setProbeHost(const QString &host) { m_scheduler.exchange().setProbeHost(host); }
    TestRows &rows() { return m_rows; }
    SlotScheduler &scheduler() { return m_scheduler; }

private:
    ProxyTableModel &m_table;
    StatusPanels &m_panels;
    RunControl &m_run;
    TestRunHost &m_host;
    SteadyClock m_steadyClock;
    TestRows m_rows;
    SlotScheduler m_scheduler;
};

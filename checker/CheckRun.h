#pragma once

#include "checker/CheckRows.h"
#include "checker/SlotScheduler.h"
#include "checker/SteadyClock.h"

#include <QObject>

class ProxyTableModel;
class StatusPanels;
class CheckRunHost;
struct RunControl;

// A test run, as the three test commands start it: lock the window, reset the rows of the run, probe them batch
// by batch, unlock, recount, and tell the user.
class CheckRun : public QObject
{
    Q_OBJECT

public:
    // clock: what batches are measured by; the system's monotonic clock when null.
    CheckRun(ProxyTableModel &table, StatusPanels &panels, RunControl &run, CheckRunHost &host,
             const Clock *clock = nullptr, QObject *parent = nullptr);

    // index: 0 all rows, 1 the untested, 2 the selected. Returns when the run is over, or at once on an empty table.
    void run(int index);
    // Ends a run in progress where it stands: no row is judged any more, every socket is released and neither the
    // unlocking nor the completion message follows. For a program that is about to end.
    void stop();

    void setProbeHost(const QString &host) { m_scheduler.exchange().setProbeHost(host); }
    CheckRows &rows() { return m_rows; }
    SlotScheduler &scheduler() { return m_scheduler; }

private:
    ProxyTableModel &m_table;
    StatusPanels &m_panels;
    RunControl &m_run;
    CheckRunHost &m_host;
    SteadyClock m_steadyClock;
    CheckRows m_rows;
    SlotScheduler m_scheduler;
};

#pragma once

#include "checker/CheckRows.h"
#include "checker/CheckSettings.h"
#include "checker/SlotScheduler.h"
#include "checker/SteadyClock.h"

#include <QObject>

class ProxyTableModel;
class StatusPanels;
class CheckRunHost;

// A test run, as the three test commands start it: lock the window, reset the rows of the run, probe them batch
// by batch, unlock, recount, and tell the user.
class CheckRun : public QObject
{
    Q_OBJECT

public:
    // clock: what batches are measured by; the system's monotonic clock when null.
    CheckRun(ProxyTableModel &table, StatusPanels &panels, CheckRunHost &host, const Clock *clock = nullptr,
             QObject *parent = nullptr);

    // index: 0 all rows, 1 the untested, 2 the selected. Returns when the run is over, or at once on an empty table.
    void run(int index);
    // Ends a run in progress where it stands: no row is judged any more, every socket is released and neither the
    // unlocking nor the completion message follows. For a program that is about to end.
    void stop();

    // Read when a batch starts; the window's sliders are locked during a run.
    void setSettings(const CheckSettings &settings) { m_settings = settings; }
    const CheckSettings &settings() const { return m_settings; }
    // The user pressed Abort: the run ends after the batch under way. Every run starts without it.
    void abort() { m_abortRequested = true; }
    bool abortRequested() const { return m_abortRequested; }
    // From just before the first batch until the completion message has been closed.
    bool isRunning() const { return m_running; }

    void setProbeHost(const QString &host) { m_scheduler.exchange().setProbeHost(host); }
    CheckRows &rows() { return m_rows; }
    SlotScheduler &scheduler() { return m_scheduler; }

private:
    ProxyTableModel &m_table;
    StatusPanels &m_panels;
    CheckRunHost &m_host;
    CheckSettings m_settings;
    bool m_abortRequested = false;
    bool m_running = false;
    SteadyClock m_steadyClock;
    CheckRows m_rows;
    SlotScheduler m_scheduler;
};

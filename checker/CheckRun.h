#pragma once

#include "checker/BatchScheduler.h"
#include "checker/CheckRows.h"
#include "checker/CheckSettings.h"
#include "checker/PoolScheduler.h"
#include "checker/ProbeSet.h"
#include "checker/SteadyClock.h"

#include <QObject>

class ProxyList;
class RowSelection;

// A check run, as the three test commands start it: reset the rows of the run, probe them batch by batch (or as a
// pool, see setPool()), and say when it is over. start() returns at once; the event loop runs the probes. Whoever
// starts it locks and unlocks its own controls on started() and finished().
class CheckRun : public QObject
{
    Q_OBJECT

public:
    // clock: what batches are measured by; the system's monotonic clock when null.
    explicit CheckRun(ProxyList &list, const Clock *clock = nullptr, QObject *parent = nullptr);

    // Starts a run with the settings as they are now; nothing happens on an empty list or while a run goes on.
    void start(CheckRows::Mode mode);
    // Ends a run in progress where it stands: no row is judged any more, every connection goes and finished() is
    // not emitted. For a program that is about to end.
    void stop();
    // The user asked the run to end after the probes under way (the batch under way).
    void abort() { m_scheduler->abort(); }

    void setSettings(const CheckSettings &settings) { m_settings = settings; }
    const CheckSettings &settings() const { return m_settings; }
    // From started() until finished() has been handled, or stop().
    bool isRunning() const { return m_running; }
    // Where "Test selected proxies" reads the selection, row by row as the run reaches it.
    void setSelection(const RowSelection *selection) { m_rows.setSelection(selection); }
    // The IP-echo host every probe asks; the caller has checked it with EchoHost::parse().
    void setProbeHost(const QString &host);
    // The protocol of rows without a scheme: HTTP unless told otherwise.
    void setBareProtocol(ProxyAddress::Protocol protocol) { m_probes.setBareProtocol(protocol); }
    // A pool of probes that never waits on its slowest (see PoolScheduler) rather than the window's batches.
    void setPool(bool pool) { m_scheduler = pool ? static_cast<Scheduler *>(&m_pool) : &m_batches; }
    bool isPool() const { return m_scheduler == &m_pool; }
    const CheckRows &rows() const { return m_rows; }
    const ProbeSet &probes() const { return m_probes; }

Q_SIGNALS:
    void started();
    // A row's verdict has been written.
    void judged(int row);
    // Every row of the run has a verdict, or Abort was pressed, or this machine ran out of sockets: then shortage
    // says what it ran out of, in the system's words, and the rows not probed are untested.
    void finished(const QString &shortage);

private:
    void onSchedulerFinished();

    ProxyList &m_list;
    CheckSettings m_settings;
    bool m_running = false;
    SteadyClock m_steadyClock;
    CheckRows m_rows;
    ProbeSet m_probes;
    BatchScheduler m_batches;
    PoolScheduler m_pool;
    Scheduler *m_scheduler = &m_batches;
};

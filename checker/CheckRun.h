#pragma once

#include "checker/BatchScheduler.h"
#include "checker/CheckRows.h"
#include "checker/CheckSettings.h"
#include "checker/PoolScheduler.h"
#include "checker/ProbeSet.h"
#include "checker/SteadyClock.h"

#include <QObject>

class ProxyTableModel;

// A check run, as the three test commands start it: reset the rows of the run, probe them batch by batch (or as a
// pool, see setPool()), and say when it is over. Whoever starts it locks and unlocks its own controls on started()
// and finished().
class CheckRun : public QObject
{
    Q_OBJECT

public:
    // clock: what batches are measured by; the system's monotonic clock when null.
    explicit CheckRun(ProxyTableModel &table, const Clock *clock = nullptr, QObject *parent = nullptr);

    // Returns when the run is over, or at once on an empty table.
    void run(CheckRows::Mode mode);
    // Ends a run in progress where it stands: no row is judged any more, every connection goes and finished() is
    // not emitted. For a program that is about to end.
    void stop();
    // The user asked the run to end after the batch under way. Every run starts without it.
    void abort() { m_aborted = true; }

    // Read when a batch starts; the window's sliders are locked during a run.
    void setSettings(const CheckSettings &settings) { m_settings = settings; }
    const CheckSettings &settings() const { return m_settings; }
    // From just before the first batch until finished() has been handled.
    bool isRunning() const { return m_running; }
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
    ProxyTableModel &m_table;
    CheckSettings m_settings;
    bool m_aborted = false;
    bool m_running = false;
    SteadyClock m_steadyClock;
    CheckRows m_rows;
    ProbeSet m_probes;
    BatchScheduler m_batches;
    PoolScheduler m_pool;
    Scheduler *m_scheduler = &m_batches;
};

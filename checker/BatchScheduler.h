#pragma once

#include "checker/CheckRows.h"
#include "checker/CheckSettings.h"
#include "checker/ProbeSet.h"

#include <QObject>

#include <functional>

class Clock;
class ProxyTableModel;
class QEventLoop;

// The engine of a check run: hands the rows of the run out to probes in batches of slotsPerBatch, lets each
// batch's probes work for timeoutSeconds while the event loop runs, then marks every probe still open "Timeout".
// Abort is honoured after the batch under way, and so is a machine out of sockets.
class BatchScheduler : public QObject
{
    Q_OBJECT

public:
    // settings and aborted belong to the run; the scheduler reads them at each batch.
    BatchScheduler(ProxyTableModel &table, CheckRows &rows, const CheckSettings &settings, const bool &aborted,
                   const Clock &clock, QObject *parent = nullptr);
    ~BatchScheduler() override;

    // Returns when no row is left, after the batch in which Abort was pressed or this machine ran out of sockets,
    // or when stopped.
    void checkProxies();
    // Ends the run at once, from inside its wait: every probe goes and no row is judged or handed out.
    void stop();
    bool stopped() const { return m_stopped; }

    ProbeSet &probes() { return m_probes; }
    const ProbeSet &probes() const { return m_probes; }

private:
    // Runs the event loop until the clock is past the deadline, or until done() when it is given; false when the run
    // was stopped or this object destroyed meanwhile.
    bool waitUntil(qint64 deadline, const std::function<bool()> &done = {});
    // SOCKS 4 needs the echo host's address: unless its name is one, it is looked up once for the run, for at most
    // one batch's time. Without it, SOCKS 4 rows ask the proxy to look the name up (SOCKS 4a). False when the run
    // was stopped meanwhile.
    bool lookUpEchoHost();

    CheckRows &m_rows;
    const CheckSettings &m_settings;
    const bool &m_aborted;
    const Clock &m_clock;
    ProbeSet m_probes;
    QEventLoop *m_waitLoop = nullptr;
    bool m_stopped = false;
};

#pragma once

#include "checker/CheckRows.h"
#include "checker/CheckSettings.h"

#include <QObject>

#include <functional>

class Clock;
class ProbeSet;
class QEventLoop;

// What hands the rows of a check run out to probes and decides when they are out of time. It runs the event loop
// while the probes work, and returns when no row is left, when the user asked the run to end (aborted: after the
// probes under way) or this machine ran out of sockets, or when stopped.
class Scheduler : public QObject
{
    Q_OBJECT

public:
    // settings and aborted belong to the run; they are read as the run goes.
    Scheduler(ProbeSet &probes, CheckRows &rows, const CheckSettings &settings, const bool &aborted,
              const Clock &clock);
    ~Scheduler() override;

    void checkProxies();
    // Ends the run at once, from inside its wait: every probe goes and no row is judged or handed out.
    void stop();
    bool stopped() const { return m_stopped; }

protected:
    // The rows, handed out and judged; the probes are out of time at the scheduler's own moments.
    virtual void schedule() = 0;
    // Runs the event loop until the clock is past the deadline, or until done(); false when the run was stopped or
    // this object destroyed meanwhile.
    bool waitUntil(qint64 deadline, const std::function<bool()> &done = {});
    // Whether rows may still be handed out: no Abort, no shortage.
    bool mayStart() const;
    // Ends the wait under way, so that it looks at done() again.
    void wake();

    ProbeSet &m_probes;
    CheckRows &m_rows;
    const CheckSettings &m_settings;
    const Clock &m_clock;

private:
    // SOCKS 4 needs the echo host's address: unless its name is one, it is looked up once for the run, for at most
    // the run's timeout. Without it, SOCKS 4 rows ask the proxy to look the name up (SOCKS 4a). False when the run
    // was stopped meanwhile.
    bool lookUpEchoHost();

    const bool &m_aborted;
    QEventLoop *m_waitLoop = nullptr;
    bool m_woken = false;
    bool m_stopped = false;
};

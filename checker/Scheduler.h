#pragma once

#include "checker/CheckRows.h"
#include "checker/CheckSettings.h"
#include "checker/Clock.h"

#include <QObject>
#include <QTimer>

#include <vector>

class EchoHost;
class ProbeSet;

// What hands the rows of a check run out to probes and decides when they are out of time. It is driven by the
// event loop: start() returns at once, the probes' verdicts and a deadline timer move the run on, and finished()
// says that it is over.
class Scheduler : public QObject
{
    Q_OBJECT

public:
    Scheduler(ProbeSet &probes, CheckRows &rows, const Clock &clock);
    ~Scheduler() override;

    // Starts handing out the run's rows with these settings. finished() follows, unless stop() comes first.
    void start(const CheckSettings &settings);
    // No row is handed out any more; the probes under way end as the schedule has them end, then finished().
    void abort();
    // Ends the run where it stands: every probe goes, no row is judged any more and finished() does not follow.
    void stop();
    bool isRunning() const { return m_phase != Phase::Idle; }

Q_SIGNALS:
    // Every row of the run has a verdict, or it was aborted, or this machine ran out of sockets.
    void finished();

protected:
    // The first rows go out.
    virtual void begin() = 0;
    // The clock is past the deadline set last, and what came in before it has been handled.
    virtual void deadlinePassed() = 0;
    // Asks for one call of deadlinePassed() once the clock is past the reading, instead of any asked before.
    void setDeadline(Clock::TimePoint deadline);
    // Whether rows may still be handed out: no Abort, no shortage.
    bool mayStart() const;
    // The run is over: finished() goes out, once.
    void end();

    ProbeSet &m_probes;
    CheckRows &m_rows;
    const Clock &m_clock;
    CheckSettings m_settings;

private:
    enum class Phase { Idle, LookingUp, Running };

    // SOCKS 4 needs the echo hosts' addresses: those not known yet are looked up once for the run, together, for at
    // most the run's timeout. Without its host's address, a SOCKS 4 row asks the proxy to look the name up (SOCKS
    // 4a).
    void lookUpEchoHosts(const std::vector<EchoHost *> &hosts);
    void run();
    void onTimer();

    QTimer m_timer;
    // Counts the waits for the look-ups' answers: an answer to an earlier wait is dropped.
    quint64 m_lookupWait = 0;
    size_t m_lookupsLeft = 0;
    Clock::TimePoint m_deadline;
    // The deadline has passed and one more pass of the event loop is under way, for what came in before it.
    bool m_lastPass = false;
    bool m_aborted = false;
    Phase m_phase = Phase::Idle;
};

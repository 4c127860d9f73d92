#pragma once

#include "checker/BatchScheduler.h"
#include "checker/CheckRows.h"
#include "checker/CheckSettings.h"
#include "checker/EchoCheck.h"
#include "checker/NameCache.h"
#include "checker/PoolScheduler.h"
#include "checker/ProbeSet.h"
#include "checker/RunOutcome.h"
#include "checker/SteadyClock.h"

#include <QObject>
#include <QStringList>

#include <deque>

class ProxyList;
class RowSelection;

// A check run, as the three test commands start it: ask the echo hosts directly whether they answer and what they
// see of this machine, reset the rows of the run, probe them batch by batch (or as a pool, see setPool()), and say
// how it ended. When no echo host answers, no row changes. start() returns at once; the event loop runs the probes.
// Whoever starts it locks and unlocks its own controls on started() and finished().
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
    // The user asked the run to end after the probes under way (the batch under way); while the echo hosts are
    // asked, at once, with no row changed.
    void abort();

    void setSettings(const CheckSettings &settings) { m_settings = settings; }
    const CheckSettings &settings() const { return m_settings; }
    // From started() until finished() has been handled, or stop().
    bool isRunning() const { return m_running; }
    // Whether proxies are being probed, as against the echo hosts asked before or after.
    bool isProbing() const { return m_phase == Phase::Probing; }
    // Where "Test selected proxies" reads the selection, row by row as the run reaches it.
    void setSelection(const RowSelection *selection) { m_rows.setSelection(selection); }
    // The IP-echo hosts the probes ask in turn; the caller has checked each with EchoHost::parse().
    void setEchoHosts(const QStringList &hosts);
    // Whether the echo hosts are asked directly before the run: off for a machine that reaches the internet only
    // through proxies. Then every host takes probes, and anonymity is judged against each proxy's own address.
    void setEchoCheck(bool ask) { m_checksEchoHosts = ask; }
    // The protocol of rows without a scheme: HTTP unless told otherwise.
    void setBareProtocol(ProxyAddress::Protocol protocol) { m_probes.setBareProtocol(protocol); }
    void setSearchingProtocols(bool searching) { m_probes.setSearchingProtocols(searching); }
    // The user's site, fetched through every proxy found working from the next run on; none when no site is to be
    // fetched. For an https:// site, the certificates it is checked against are read here: when they cannot be,
    // the site is not set and the reason is returned.
    QString setSite(std::optional<SiteCheck> site);
    const std::optional<SiteCheck> &site() const { return m_probes.site(); }
    // A pool of probes that never waits on its slowest (see PoolScheduler) rather than the window's batches.
    void setPool(bool pool) { m_scheduler = pool ? static_cast<Scheduler *>(&m_pool) : &m_batches; }
    bool isPool() const { return m_scheduler == &m_pool; }
    const CheckRows &rows() const { return m_rows; }
    const ProbeSet &probes() const { return m_probes; }

Q_SIGNALS:
    void started();
    // A row's verdict has been written.
    void judged(int row);
    // Every row of the run has a verdict, or Abort was pressed, or this machine ran out of sockets, or no echo host
    // answered: the outcome says which.
    void finished(const RunOutcome &outcome);

private:
    enum class Phase { Idle, AskingEchoHosts, Probing, AskingAgain };

    void onEchoCheckFinished();
    void probe();
    void onJudged(int row);
    void onSchedulerFinished();
    void finish();
    // An echo host whose probes kept failing is asked directly, one at a time, while the probes go on.
    void onHostSuspected(size_t host);
    void askNextSuspect();
    void onHostCheckFinished();
    // A host that no longer answers: the rows it failed since its last page go out again.
    void dropHost(size_t host, const QString &why);

    ProxyList &m_list;
    CheckSettings m_settings;
    bool m_running = false;
    bool m_checksEchoHosts = true;
    Phase m_phase = Phase::Idle;
    CheckRows::Mode m_mode = CheckRows::Mode::All;
    RunOutcome m_outcome;
    // Where every name of a run is looked up, once: the echo hosts', asked directly and for SOCKS 4, and the
    // proxies'.
    NameCache m_names;
    // The run's verdicts so far: working, and any other.
    int m_working = 0;
    int m_failed = 0;
    EchoCheck m_echoCheck;
    // The hosts asked again after a run, kept while they are.
    std::vector<EchoHost> m_hostsAgain;
    // The hosts asked again during the run, by their place, the first being asked; and a copy of that one.
    EchoCheck m_hostCheck;
    std::deque<size_t> m_suspects;
    std::vector<EchoHost> m_hostAsked;
    // The scheduler ended while a host was being asked: whether rows go out again depends on its answer.
    bool m_schedulerWaits = false;
    bool m_rowsPutBack = false;
    SteadyClock m_steadyClock;
    CheckRows m_rows;
    ProbeSet m_probes;
    // Made before the schedulers make theirs: a verdict is counted before the scheduler that ends on it says so.
    QMetaObject::Connection m_counting;
    BatchScheduler m_batches;
    PoolScheduler m_pool;
    Scheduler *m_scheduler = &m_batches;
};

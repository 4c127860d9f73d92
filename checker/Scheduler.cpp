#include "checker/Scheduler.h"

#include "checker/NameCache.h"
#include "checker/ProbeSet.h"

#include <algorithm>
#include <climits>

Scheduler::Scheduler(ProbeSet &probes, CheckRows &rows, const Clock &clock)
    : m_probes(probes), m_rows(rows), m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Scheduler::onTimer);
}

Scheduler::~Scheduler()
{
    stop();
}

void Scheduler::start(const CheckSettings &settings)
{
    m_settings = settings;
    m_aborted = false;
    m_probes.clearShortage();
    std::vector<EchoHost *> unknown;
    if (m_probes.hasSocks4Rows()) {
        EchoRotation &echoHosts = m_probes.echoHosts();
        for (const size_t host : echoHosts.inTurn()) {
            if (EchoHost &echo = echoHosts.hosts()[host]; !echo.address())
                unknown.push_back(&echo);
        }
    }
    if (unknown.empty())
        return run();
    m_phase = Phase::LookingUp;
    lookUpEchoHosts(unknown);
}

void Scheduler::lookUpEchoHosts(const std::vector<EchoHost *> &hosts)
{
    m_lookupsLeft = hosts.size();
    const quint64 wait = ++m_lookupWait;
    for (EchoHost *host : hosts) {
        m_probes.names().lookUp(host->name(), this, [this, host, wait](const QList<QHostAddress> &found) {
            // An answer that comes after the wait gave up.
            if (m_phase != Phase::LookingUp || wait != m_lookupWait)
                return;
            host->setAddressFrom(found);
            if (--m_lookupsLeft == 0)
                run();
        });
    }
    setDeadline(m_clock.now() + m_settings.timeout);
}

void Scheduler::run()
{
    // Answers still to come are dropped.
    ++m_lookupWait;
    m_timer.stop();
    m_lastPass = false;
    m_phase = Phase::Running;
    begin();
}

void Scheduler::abort()
{
    m_aborted = true;
}

void Scheduler::stop()
{
    if (m_phase == Phase::Idle)
        return;
    m_phase = Phase::Idle;
    m_timer.stop();
    ++m_lookupWait;
    m_probes.releaseAll();
}

void Scheduler::end()
{
    if (m_phase == Phase::Idle)
        return;
    m_phase = Phase::Idle;
    m_timer.stop();
    m_probes.releaseAll();
    Q_EMIT finished();
}

bool Scheduler::mayStart() const
{
    return !m_aborted && m_phase == Phase::Running && m_probes.shortage().isEmpty();
}

void Scheduler::setDeadline(Clock::TimePoint deadline)
{
    using std::chrono::milliseconds;
    m_deadline = deadline;
    m_lastPass = false;
    // A millisecond past the reading, so that the clock is past it when the timer fires; a timer counts in an int.
    m_timer.start(std::clamp(m_clock.until(deadline) + milliseconds(1), milliseconds(1), milliseconds(INT_MAX)));
}

void Scheduler::onTimer()
{
    // A timer may fire a little early, and a stand-in clock runs its own pace.
    if (m_clock.now() <= m_deadline)
        return setDeadline(m_deadline);
    // Answers that came in before the deadline are read in the event loop's next pass, before any probe is judged
    // out of time: one pass, not until idle, since a proxy that never stops talking always has more.
    if (!std::exchange(m_lastPass, true))
        return m_timer.start(0);
    m_lastPass = false;
    if (m_phase == Phase::LookingUp)
        return run();
    deadlinePassed();
}

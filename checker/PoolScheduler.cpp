#include "checker/PoolScheduler.h"

#include "checker/ProbeSet.h"

#include <algorithm>

namespace {
// Probes started in one turn of the event loop, by all its refills together. Thousands of connections started at
// once overflow the queues between this program and the network (on loopback, the kernel's backlog of 1,000
// packets); and where most proxies refuse at once, each refusal's refill would start another that is refused by the
// next turn, until the turns are so long that a working proxy's answer waits in them past its timeout.
constexpr int StartsPerTurn = 250;
} // namespace

PoolScheduler::PoolScheduler(ProbeSet &probes, CheckRows &rows, const Clock &clock) : Scheduler(probes, rows, clock)
{
    m_nextTurn.setSingleShot(true);
    m_nextTurn.setInterval(0);
    connect(&m_nextTurn, &QTimer::timeout, this, [this] {
        if (!isRunning())
            return;
        m_startsThisTurn = 0;
        refill();
        waitForOldest();
    });
    // Every verdict frees a place: it is filled at once, from inside the event that ended the probe.
    connect(&m_probes, &ProbeSet::judged, this, [this] {
        if (!isRunning() || m_refilling)
            return;
        refill();
        if (m_probes.openCount() == 0 && !m_nextTurn.isActive())
            end();
    });
}

void PoolScheduler::begin()
{
    refill();
    waitForOldest();
}

void PoolScheduler::deadlinePassed()
{
    // Each probe past its own deadline goes; the oldest left sets the next one.
    m_refilling = true;
    m_probes.timeOutStartedBefore(m_clock.now() - m_settings.timeout);
    m_refilling = false;
    refill();
    waitForOldest();
}

void PoolScheduler::waitForOldest()
{
    if (m_probes.openCount() == 0)
        return m_nextTurn.isActive() ? void() : end();
    setDeadline(m_probes.oldestStart() + m_settings.timeout);
}

void PoolScheduler::refill()
{
    // A probe can be judged while it starts (a row whose address is unusable): its verdict's refill is this one.
    if (m_refilling)
        return;
    m_refilling = true;
    const int slots = std::max(1, m_settings.probesAtOnce);
    // Asked again at every refill: a row may be put back once the list's end was reached.
    for (; mayStart() && m_probes.openCount() < slots; ++m_startsThisTurn) {
        if (m_startsThisTurn >= StartsPerTurn) {
            m_nextTurn.start();
            break;
        }
        const std::optional<int> next = m_rows.nextRow();
        if (!next || !m_probes.start(*next))
            break;
    }
    m_refilling = false;
}

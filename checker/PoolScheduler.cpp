#include "checker/PoolScheduler.h"

#include "checker/Clock.h"
#include "checker/ProbeSet.h"

#include <algorithm>

PoolScheduler::PoolScheduler(ProbeSet &probes, CheckRows &rows, const CheckSettings &settings, const bool &aborted,
                             const Clock &clock)
    : Scheduler(probes, rows, settings, aborted, clock)
{
    // Every verdict frees a place: it is filled at once, from inside the event that ended the probe.
    connect(&m_probes, &ProbeSet::judged, this, [this] {
        if (!m_running)
            return;
        refill();
        if (m_probes.openCount() == 0)
            wake();
    });
}

void PoolScheduler::schedule()
{
    const qint64 timeoutMs = qint64(m_settings.timeoutSeconds) * 1000;
    m_running = true;
    m_rowsLeft = true;
    refill();
    // The oldest probe's deadline is the first: each wait runs to it, and every probe past its own goes.
    while (m_probes.openCount() > 0) {
        const qint64 deadline = m_probes.open().front()->startedMs() + timeoutMs;
        if (!waitUntil(deadline, [this] { return m_probes.openCount() == 0; }))
            break;
        m_probes.timeOutStartedBefore(m_clock.nowMs() - timeoutMs);
        m_probes.dropReleased();
        refill();
    }
    m_running = false;
}

void PoolScheduler::refill()
{
    // A probe can be judged while it starts (a row whose address is unusable): its verdict's refill is this one.
    if (m_refilling)
        return;
    m_refilling = true;
    const int slots = std::max(1, m_settings.slotsPerBatch);
    while (m_rowsLeft && mayStart() && m_probes.openCount() < slots) {
        const std::optional<int> next = m_rows.nextRow();
        if (!next)
            m_rowsLeft = false;
        else if (!m_probes.start(*next))
            break;
    }
    m_refilling = false;
}

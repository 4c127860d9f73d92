#include "checker/BatchScheduler.h"

#include "checker/ProbeSet.h"

#include <algorithm>

void BatchScheduler::startBatch()
{
    std::optional<int> next = m_rows.nextRow();
    if (!next || !mayStart())
        return end();
    const int slots = std::max(1, m_settings.probesAtOnce);
    for (int i = 1; i <= slots; ++i) {
        // A full batch asks for no further row: the next batch does.
        if (!m_probes.start(*next) || i == slots || !(next = m_rows.nextRow()))
            break;
    }
    setDeadline(m_clock.now() + m_settings.timeout);
}

void BatchScheduler::deadlinePassed()
{
    m_probes.timeOutAll();
    if (!mayStart())
        return end();
    startBatch();
}

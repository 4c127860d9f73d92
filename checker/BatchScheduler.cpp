#include "checker/BatchScheduler.h"

#include "checker/Clock.h"
#include "checker/ProbeSet.h"

#include <algorithm>

void BatchScheduler::schedule()
{
    for (;;) {
        std::optional<int> next = m_rows.nextRow();
        if (!next || !mayStart())
            return;
        const int slots = std::max(1, m_settings.slotsPerBatch);
        for (int i = 1; i <= slots; ++i) {
            // A full batch asks for no further row: the next pass does.
            if (!m_probes.start(*next) || i == slots || !(next = m_rows.nextRow()))
                break;
        }
        if (!waitUntil(m_clock.nowMs() + qint64(m_settings.timeoutSeconds) * 1000))
            return;
        m_probes.timeOutAll();
        m_probes.dropReleased();
        if (!mayStart())
            return;
    }
}

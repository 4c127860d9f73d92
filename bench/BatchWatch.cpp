#include "bench/BatchWatch.h"

#include "proxylist/ProxyList.h"

#include <algorithm>

BatchWatch::BatchWatch(const ProxyList &table, int slots, std::function<void()> firstVerdict)
    : m_table(table), m_slots(std::max(1, slots)), m_firstVerdict(std::move(firstVerdict))
{
    connect(&table, &ProxyList::resultsChanged, this, [this](int first, int last) {
        for (int row = first; row <= last; ++row)
            rowChanged(row);
    });
}

void BatchWatch::rowChanged(int row)
{
    const ProxyStatus status = m_table.result(row).status;
    const size_t batch = size_t(row / m_slots);
    if (status == ProxyStatus::Checking) {
        if (batch == m_batches.size())
            m_batches.push_back({m_clock.nsecsElapsed(), m_clock.nsecsElapsed()});
        else if (batch + 1 == m_batches.size())
            m_batches.back().lastCheckingNs = m_clock.nsecsElapsed();
        return;
    }
    if (status == ProxyStatus::Untested || m_batches.empty())
        return;
    Batch &current = m_batches.back();
    if (status == ProxyStatus::Timeout) {
        current.lastTimeoutNs = m_clock.nsecsElapsed();
        if (current.timeoutPassNs < 0)
            current.timeoutPassNs = current.lastTimeoutNs;
    }
    if (!current.judged) {
        current.judged = true;
        if (m_firstVerdict)
            m_firstVerdict();
    }
}

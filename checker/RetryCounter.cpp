#include "checker/RetryCounter.h"

void RetryCounter::start(int rows, int retries)
{
    m_retries = retries;
    m_probes.assign(retries > 0 ? size_t(rows) : 0, 0);
}

int RetryCounter::count(int row, ProxyStatus status)
{
    if (!isCounted(row))
        return 1;
    quint8 &probes = m_probes[size_t(row)];
    probes = quint8((probes & ~AwaitsBit) + 1);
    const bool failed = status == ProxyStatus::Timeout || status == ProxyStatus::Error;
    if (failed && probes <= m_retries)
        probes |= AwaitsBit;
    return probes & ~AwaitsBit;
}

#pragma once

#include "proxylist/ProxyResult.h"

#include <vector>

// The probes each row of a run has had, and which of them go out again: a row judged "Timeout" or "Error" is
// probed again while it has retries left. A byte a row, and none when the run asks for no retry.
class RetryCounter
{
public:
    // A run of rows rows, each probed again up to retries more times.
    void start(int rows, int retries);
    // A probe of the row ended with the status: returns the probes it has had, this one counted, and marks it to go
    // out again when it failed and has retries left.
    int count(int row, ProxyStatus status);
    // Whether the row's last verdict waits for another probe.
    bool awaitsRetry(int row) const { return isCounted(row) && (m_probes[size_t(row)] & AwaitsBit); }
    // The row goes out again.
    void resume(int row)
    {
        if (isCounted(row))
            m_probes[size_t(row)] &= quint8(~AwaitsBit);
    }

private:
    static constexpr quint8 AwaitsBit = 0x80;

    bool isCounted(int row) const { return row >= 0 && size_t(row) < m_probes.size(); }

    int m_retries = 0;
    // The probes each row has had, below AwaitsBit.
    std::vector<quint8> m_probes;
};

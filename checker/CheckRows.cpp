#include "checker/CheckRows.h"

#include "proxylist/ProxyList.h"
#include "proxylist/RowSelection.h"

#include <algorithm>

void CheckRows::start(Mode mode)
{
    m_mode = mode;
    m_cursor = 0;
    m_putBack.clear();
    m_retries.clear();
    // The run resets its rows before it reaches them: which failed is read now.
    m_failedAtStart = mode == Mode::Failed ? failedRows() : std::vector<bool>();
}

std::vector<bool> CheckRows::failedRows() const
{
    std::vector<bool> failed(size_t(m_list.count()));
    for (int r = 0; r < m_list.count(); ++r) {
        const ProxyStatus status = m_list.result(r).status;
        failed[size_t(r)] =
            status == ProxyStatus::Timeout || status == ProxyStatus::Error || status == ProxyStatus::InvalidResponse;
    }
    return failed;
}

std::vector<bool> CheckRows::rowsToReset() const
{
    // The selection is read from its ranges in one pass rather than asked of each row.
    if (m_mode == Mode::Selected)
        return m_selection ? m_selection->selectedRows() : std::vector<bool>(size_t(m_list.count()));
    if (m_mode == Mode::Failed)
        return m_failedAtStart.size() == size_t(m_list.count()) ? m_failedAtStart : failedRows();
    std::vector<bool> reset(size_t(m_list.count()), m_mode == Mode::All);
    for (int r = 0; m_mode == Mode::Untested && r < m_list.count(); ++r)
        reset[size_t(r)] = isCandidate(r);
    return reset;
}

bool CheckRows::isCandidate(int row) const
{
    switch (m_mode) {
    case Mode::All:
        return true;
    case Mode::Untested:
        return m_list.result(row).status == ProxyStatus::Untested;
    case Mode::Failed:
        return size_t(row) < m_failedAtStart.size() && m_failedAtStart[size_t(row)];
    case Mode::Selected:
        // Read when the cursor gets here: the user may change the selection while the run goes on.
        return m_selection && m_selection->isSelected(row);
    }
    return false;
}

bool CheckRows::hasRows() const
{
    const std::vector<bool> rows = rowsToReset();
    return std::find(rows.begin(), rows.end(), true) != rows.end();
}

std::optional<int> CheckRows::nextRow()
{
    if (!m_putBack.empty()) {
        const int row = m_putBack.front();
        m_putBack.pop_front();
        return row;
    }
    while (m_cursor < m_list.count()) {
        const int row = m_cursor++;
        if (isCandidate(row))
            return row;
    }
    if (!m_retries.empty()) {
        const int row = m_retries.front();
        m_retries.pop_front();
        return row;
    }
    return std::nullopt;
}

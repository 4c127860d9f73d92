#include "checker/CheckRows.h"

#include "proxylist/CellText.h"
#include "proxylist/ProxyTableModel.h"

#include <vector>

CheckRows::CheckRows(ProxyTableModel &table) : m_table(table) {}

void CheckRows::start(int mode)
{
    m_mode = mode;
    m_cursor = 0;
}

void CheckRows::resetRows()
{
    if (m_mode < AllRows || m_mode > SelectedRows)
        return;
    const int n = m_table.count();
    std::vector<bool> reset;
    if (m_mode == SelectedRows) {
        reset = m_table.selectedRows(); // one pass over the selection ranges rather than one query per row
    } else {
        reset.resize(size_t(n), m_mode == AllRows);
        for (int r = 1; m_mode == UntestedRows && r <= n; ++r)
            reset[size_t(r - 1)] = m_table.subItem(r, ProxyTableModel::Status) == CellText::Untested;
    }
    m_table.resetResults(reset);
}

bool CheckRows::isCandidate(int row) const
{
    switch (m_mode) {
    case AllRows:
        return true;
    case UntestedRows:
        return m_table.subItem(row, ProxyTableModel::Status) == CellText::Untested;
    case SelectedRows:
        // Read when the cursor gets here: the user may change the selection while the run goes on.
        return m_table.isSelected(row);
    default:
        return false;
    }
}

std::optional<CheckRows::Next> CheckRows::nextProxy()
{
    if (m_mode < AllRows || m_mode > SelectedRows)
        return std::nullopt;
    while (m_cursor < m_table.count()) {
        ++m_cursor;
        if (!isCandidate(m_cursor))
            continue;
        m_table.setSubItem(m_cursor, ProxyTableModel::Status, CellText::Checking);
        return Next{m_table.itemText(m_cursor), m_cursor};
    }
    return std::nullopt;
}

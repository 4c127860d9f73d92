#include "checker/CheckRows.h"

#include "proxylist/CellText.h"
#include "proxylist/ProxyTableModel.h"

#include <vector>

CheckRows::CheckRows(ProxyTableModel &table) : m_table(table) {}

void CheckRows::ResetTestRows()
{
    if (TestMode < 0 || TestMode > 2)
        return;
    const int n = m_table.count();
    std::vector<bool> reset;
    if (TestMode == 2) {
        reset = m_table.selectedRows(); // one pass over the selection ranges rather than one query per row
    } else {
        reset.resize(size_t(n), TestMode == 0);
        for (int r = 1; TestMode == 1 && r <= n; ++r)
            reset[size_t(r - 1)] = m_table.subItem(r, ProxyTableModel::Status) == CellText::Untested;
    }
    m_table.resetResults(reset);
}

bool CheckRows::isCandidate(int row, int mode) const
{
    switch (mode) {
    case 0:
        return true;
    case 1:
        return m_table.subItem(row, ProxyTableModel::Status) == CellText::Untested;
    case 2:
        // Read when the cursor gets here: the user may change the selection while the run goes on.
        return m_table.isSelected(row);
    default:
        return false;
    }
}

bool CheckRows::GetNextProxy(QString &ProxyText, int &RowIndex, int Mode)
{
    if (Mode < 0 || Mode > 2)
        return false;
    while (TestCursor < m_table.count()) {
        ++TestCursor;
        if (!isCandidate(TestCursor, Mode))
            continue;
        ProxyText = m_table.itemText(TestCursor);
        RowIndex = TestCursor;
        m_table.setSubItem(RowIndex, ProxyTableModel::Status, CellText::Checking);
        return true;
    }
    return false;
}

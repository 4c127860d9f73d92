#include "TestRows.h"

#include "CellText.h"
#include "ProxyTableModel.h"

#include <vector>

TestRows::TestRows(ProxyTableModel &table) : m_table(table) {}

void TestRows::ResetTestRows()
{
    if (TestMode < 0 || TestMode > 2)
        return;
    const int n = m_table.count();
    // One pass over the selection ranges rather than one per row.
    const std::vector<bool> selected = TestMode == 2 ? m_table.selectedRows() : std::vector<bool>();
    for (int r = 1; r <= n; ++r) {
        const bool reset = TestMode == 0 ||
                           (TestMode == 1 && m_table.subItem(r, ProxyTableModel::Status) == CellText::Untested) ||
                           (TestMode == 2 && selected[size_t(r - 1)]);
        if (!reset)
            continue;
        m_table.setSubItem(r, ProxyTableModel::Anonymity, CellText::Untested);
        m_table.setSubItem(r, ProxyTableModel::Speed, CellText::Untested);
        m_table.setSubItem(r, ProxyTableModel::Status, CellText::Untested);
        m_table.SetProxyColor(r, ProxyColor::Black);
    }
}

bool TestRows::isCandidate(int row, int mode) const
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

bool TestRows::GetNextProxy(QString &ProxyText, int &RowIndex, int Mode)
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

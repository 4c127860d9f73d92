#include "ProxyFilter.h"

#include "CellText.h"
#include "ProxyTableModel.h"

bool ProxyFilter::matches(const ProxyRow &row, bool selected) const
{
    switch (m_rule) {
    case KeepWorking:
        return row.status == CellText::Working;
    case KeepAnonymous:
        return row.anonymity == CellText::Anonymous;
    case KeepSelected:
        return selected;
    case KeepAll:
        break;
    }
    return true;
}

void ProxyFilter::apply(ProxyTableModel &table) const
{
    if (m_rule == KeepAll)
        return;
    const int rows = table.count();
    const std::vector<bool> selected = m_rule == KeepSelected ? table.selectedRows() : std::vector<bool>(size_t(rows));
    std::vector<bool> keep(static_cast<size_t>(rows));
    for (int r = 1; r <= rows; ++r)
        keep[size_t(r - 1)] = matches(table.rowAt(r), selected[size_t(r - 1)]);
    table.keepRows(keep);
}

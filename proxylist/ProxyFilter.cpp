#include "proxylist/ProxyFilter.h"

#include "proxylist/CellText.h"
#include "proxylist/ProxyTableModel.h"

bool ProxyFilter::matches(const ProxyRow &row, bool selected) const
{
    return keeps(row.status, row.anonymity, selected);
}

bool ProxyFilter::keeps(const QString &status, const QString &anonymity, bool selected) const
{
    switch (m_rule) {
    case KeepWorking:
        return status == CellText::Working;
    case KeepAnonymous:
        return anonymity == CellText::Anonymous;
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
    // The cells are read in place: copying each row's texts would cost more than the filter itself.
    for (int r = 1; r <= rows; ++r) {
        keep[size_t(r - 1)] = keeps(table.subItem(r, ProxyTableModel::Status),
                                    table.subItem(r, ProxyTableModel::Anonymity), selected[size_t(r - 1)]);
    }
    table.keepRows(keep);
}

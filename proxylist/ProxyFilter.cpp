#include "proxylist/ProxyFilter.h"

#include "proxylist/ProxyTableModel.h"

#include <algorithm>

bool ProxyFilter::matches(const ProxyResult &result, bool selected) const
{
    switch (m_rule) {
    case Rule::Working:
        return result.status == ProxyStatus::Working;
    case Rule::Anonymous:
        return result.anonymity == Anonymity::Anonymous;
    case Rule::Selected:
        return selected;
    case Rule::Within:
        return result.ms && *result.ms <= m_ms;
    case Rule::EveryRow:
        break;
    }
    return true;
}

std::vector<bool> ProxyFilter::matching(const ProxyTableModel &table) const
{
    const size_t rows = size_t(table.count());
    // The selection is gathered once, from its ranges, rather than asked of each row.
    const std::vector<bool> selected = m_rule == Rule::Selected ? table.selectedRows() : std::vector<bool>(rows);
    std::vector<bool> match(rows);
    for (size_t r = 0; r < rows; ++r)
        match[r] = matches(table.result(int(r)), selected[r]);
    return match;
}

std::vector<int> ProxyFilter::rows(const ProxyTableModel &table) const
{
    const std::vector<bool> match = matching(table);
    std::vector<int> rows;
    rows.reserve(size_t(std::count(match.begin(), match.end(), true)));
    for (size_t r = 0; r < match.size(); ++r) {
        if (match[r])
            rows.push_back(int(r));
    }
    return rows;
}

qsizetype ProxyFilter::count(const ProxyTableModel &table) const
{
    const std::vector<bool> match = matching(table);
    return std::count(match.begin(), match.end(), true);
}

void ProxyFilter::apply(ProxyTableModel &table) const
{
    if (m_rule != Rule::EveryRow)
        table.keepRows(matching(table));
}

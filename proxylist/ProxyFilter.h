#pragma once

#include <QString>

struct ProxyRow;
class ProxyTableModel;

// Which rows a filter command keeps. Comparisons are exact and case-sensitive on the whole cell.
class ProxyFilter
{
public:
    // In the order of the filter menu.
    enum Rule { KeepWorking, KeepAnonymous, KeepSelected, KeepAll };

    explicit ProxyFilter(Rule rule) : m_rule(rule) {}

    Rule rule() const { return m_rule; }
    bool matches(const ProxyRow &row, bool selected) const;
    // Removes every row that does not match, in one pass; the rest keep their order.
    void apply(ProxyTableModel &table) const;

private:
    bool keeps(const QString &status, const QString &anonymity, bool selected) const;

    Rule m_rule;
};

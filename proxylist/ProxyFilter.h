#pragma once

#include "proxylist/ProxyResult.h"

#include <QtGlobal>

#include <vector>

class ProxyTableModel;

// A rule about which rows to keep: the filter commands, the counters and the rows korvane-cli prints use it.
class ProxyFilter
{
public:
    static ProxyFilter working() { return ProxyFilter(Rule::Working); }
    static ProxyFilter anonymous() { return ProxyFilter(Rule::Anonymous); }
    static ProxyFilter selected() { return ProxyFilter(Rule::Selected); }
    // "Keep proxies by speed": the Speed column holds no time, so no row is told from another.
    static ProxyFilter everyRow() { return ProxyFilter(Rule::EveryRow); }

    bool matches(const ProxyResult &result, bool selected) const;
    // The rows that match, top to bottom.
    std::vector<int> rows(const ProxyTableModel &table) const;
    qsizetype count(const ProxyTableModel &table) const;
    // Removes every row that does not match, in one pass; the rest keep their order and selection.
    void apply(ProxyTableModel &table) const;

private:
    enum class Rule { Working, Anonymous, Selected, EveryRow };
    explicit ProxyFilter(Rule rule) : m_rule(rule) {}
    std::vector<bool> matching(const ProxyTableModel &table) const;

    Rule m_rule;
};

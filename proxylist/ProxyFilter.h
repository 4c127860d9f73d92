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
    // The working proxies that answered within that many milliseconds.
    static ProxyFilter within(int ms) { return ProxyFilter(Rule::Within, ms); }
    static ProxyFilter everyRow() { return ProxyFilter(Rule::EveryRow); }

    bool matches(const ProxyResult &result, bool selected) const;
    // The rows that match, top to bottom.
    std::vector<int> rows(const ProxyTableModel &table) const;
    qsizetype count(const ProxyTableModel &table) const;
    // Removes every row that does not match, in one pass; the rest keep their order and selection.
    void apply(ProxyTableModel &table) const;

private:
    enum class Rule { Working, Anonymous, Selected, Within, EveryRow };
    explicit ProxyFilter(Rule rule, int ms = 0) : m_rule(rule), m_ms(ms) {}
    std::vector<bool> matching(const ProxyTableModel &table) const;

    Rule m_rule;
    int m_ms;
};

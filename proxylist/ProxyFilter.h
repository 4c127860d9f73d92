#pragma once

#include "proxylist/ProxyResult.h"

#include <QList>
#include <QStringList>
#include <QtGlobal>

#include <vector>

class ProxyList;

// A rule about which rows to keep: the filter commands, the counters and the rows korvane-cli prints use it.
class ProxyFilter
{
public:
    static ProxyFilter working() { return ProxyFilter(Rule::Working); }
    static ProxyFilter anonymous() { return ProxyFilter(Rule::Anonymous); }
    // The working proxies a Korvane echo host graded elite.
    static ProxyFilter elite() { return ProxyFilter(Rule::Elite); }
    // The working proxies that answered within that many milliseconds.
    static ProxyFilter within(int ms) { return ProxyFilter(Rule::Within, ms); }
    static ProxyFilter everyRow() { return ProxyFilter(Rule::EveryRow); }
    // The working proxies through which the user's site answered as expected.
    static ProxyFilter reachesSite() { return ProxyFilter(Rule::ReachesSite); }
    // The rows whose history gives them at least that uptime, in percent (RowHistory::upAtLeast()); none without one.
    static ProxyFilter upAtLeast(int percent) { return ProxyFilter(Rule::Uptime, percent); }
    // The rows whose address the location database puts in one of the countries (two-letter codes, any case), or
    // in a network of one of the autonomous systems: see ProxyList::locatedAddress(). Without a database, none.
    static ProxyFilter inCountries(const QStringList &codes);
    static ProxyFilter inNetworks(const QList<quint32> &asns);

    bool matches(const ProxyList &list, int row) const;
    // One flag per row of the list: whether it matches.
    std::vector<bool> matching(const ProxyList &list) const;
    // The rows that match, top to bottom.
    std::vector<int> rows(const ProxyList &list) const;
    qsizetype count(const ProxyList &list) const;
    // Removes every row that does not match, in one pass; the rest keep their order.
    void apply(ProxyList &list) const;

    // The rows flagged, top to bottom.
    static std::vector<int> rowsOf(const std::vector<bool> &flags);

private:
    enum class Rule { Working, Anonymous, Elite, Within, ReachesSite, Country, Network, Uptime, EveryRow };
    explicit ProxyFilter(Rule rule, int limit = 0) : m_rule(rule), m_limit(limit) {}

    Rule m_rule;
    // The milliseconds of Within, the percent of Uptime.
    int m_limit;
    QStringList m_countries;
    QList<quint32> m_asns;
};

#include "proxylist/ProxyFilter.h"

#include "proxylist/ProxyList.h"

#include <algorithm>

bool ProxyFilter::matches(const ProxyList &list, int row) const
{
    const ProxyResult result = list.result(row);
    switch (m_rule) {
    case Rule::Working:
        return result.status == ProxyStatus::Working;
    case Rule::Anonymous:
        return result.anonymity == Anonymity::Anonymous;
    case Rule::Elite:
        return result.grade == Grade::Elite;
    case Rule::Within:
        return result.ms && *result.ms <= m_ms;
    case Rule::ReachesSite: {
        const std::optional<SiteVerdict> site = list.site(row);
        return site && site->status == SiteStatus::Ok;
    }
    case Rule::Country: {
        const QString code = list.countryCode(row);
        return !code.isEmpty() && m_countries.contains(code);
    }
    case Rule::Network: {
        const std::optional<GeoInfo> found = list.locate(row);
        return found && m_asns.contains(found->asn);
    }
    case Rule::EveryRow:
        break;
    }
    return true;
}

ProxyFilter ProxyFilter::inCountries(const QStringList &codes)
{
    ProxyFilter filter(Rule::Country);
    for (const QString &code : codes)
        filter.m_countries.append(code.toUpper());
    return filter;
}

ProxyFilter ProxyFilter::inNetworks(const QList<quint32> &asns)
{
    ProxyFilter filter(Rule::Network);
    filter.m_asns = asns;
    return filter;
}

std::vector<bool> ProxyFilter::matching(const ProxyList &list) const
{
    std::vector<bool> match(size_t(list.count()));
    for (size_t r = 0; r < match.size(); ++r)
        match[r] = matches(list, int(r));
    return match;
}

std::vector<int> ProxyFilter::rowsOf(const std::vector<bool> &flags)
{
    std::vector<int> rows;
    rows.reserve(size_t(std::count(flags.begin(), flags.end(), true)));
    for (size_t r = 0; r < flags.size(); ++r) {
        if (flags[r])
            rows.push_back(int(r));
    }
    return rows;
}

std::vector<int> ProxyFilter::rows(const ProxyList &list) const
{
    return rowsOf(matching(list));
}

qsizetype ProxyFilter::count(const ProxyList &list) const
{
    const std::vector<bool> match = matching(list);
    return std::count(match.begin(), match.end(), true);
}

void ProxyFilter::apply(ProxyList &list) const
{
    if (m_rule != Rule::EveryRow)
        list.keepRows(matching(list));
}

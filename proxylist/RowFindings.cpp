#include "proxylist/RowFindings.h"

void RowFindings::set(RowId row, const RowVerdict &verdict)
{
    if (verdict.exitAddress.isEmpty())
        m_exitOf.remove(row);
    else
        m_exitOf.insert(row, m_addresses.add(verdict.exitAddress));
    if (verdict.site)
        m_siteOf.insert(row, *verdict.site);
    else
        m_siteOf.remove(row);
}

void RowFindings::copy(const RowFindings &from, RowId fromRow, RowId row)
{
    const QString exit = from.exitAddress(fromRow);
    if (!exit.isEmpty())
        m_exitOf.insert(row, m_addresses.add(exit));
    if (const std::optional<SiteVerdict> site = from.site(fromRow))
        m_siteOf.insert(row, *site);
}

void RowFindings::clear()
{
    m_addresses.clear();
    m_exitOf = {};
    m_siteOf = {};
}

#include "proxylist/RowFindings.h"

namespace {
void setAddress(QHash<RowId, quint32> &numbers, ExitAddresses &addresses, RowId row, const QString &address)
{
    if (address.isEmpty())
        numbers.remove(row);
    else
        numbers.insert(row, addresses.add(address));
}
} // namespace

void RowFindings::set(RowId row, const RowVerdict &verdict)
{
    setAddress(m_exitOf, m_addresses, row, verdict.exitAddress);
    setAddress(m_proxyOf, m_addresses, row, verdict.proxyAddress);
    if (verdict.site)
        m_siteOf.insert(row, *verdict.site);
    else
        m_siteOf.remove(row);
    if (verdict.attempts > 1)
        m_attemptsOf.insert(row, quint8(qMin(verdict.attempts, 255)));
    else
        m_attemptsOf.remove(row);
}

void RowFindings::copy(const RowFindings &from, RowId fromRow, RowId row)
{
    setAddress(m_exitOf, m_addresses, row, from.exitAddress(fromRow));
    setAddress(m_proxyOf, m_addresses, row, from.proxyAddress(fromRow));
    if (const std::optional<SiteVerdict> site = from.site(fromRow))
        m_siteOf.insert(row, *site);
    if (const int attempts = from.attempts(fromRow); attempts > 1)
        m_attemptsOf.insert(row, quint8(attempts));
}

void RowFindings::clear()
{
    m_addresses.clear();
    m_exitOf = {};
    m_proxyOf = {};
    m_siteOf = {};
    m_attemptsOf = {};
}

#include "proxylist/RowFindings.h"

void RowFindings::set(RowId row, const RowVerdict &verdict)
{
    if (verdict.exitAddress.isEmpty())
        m_exitOf.remove(row);
    else
        m_exitOf.insert(row, m_addresses.add(verdict.exitAddress));
}

void RowFindings::copy(const RowFindings &from, RowId fromRow, RowId row)
{
    const QString exit = from.exitAddress(fromRow);
    if (!exit.isEmpty())
        m_exitOf.insert(row, m_addresses.add(exit));
}

void RowFindings::clear()
{
    m_addresses.clear();
    m_exitOf = {};
}

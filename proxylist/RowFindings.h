#pragma once

#include "proxylist/ExitAddresses.h"
#include "proxylist/RowVerdict.h"

#include <QHash>

#include <optional>

// A row's own number in its store, kept through sorts, filters and merges.
using RowId = quint32;

// What a check found of rows beyond their packed bytes, by row id: where a working proxy leaves for the internet, and
// what fetching the user's site through it found; for a row naming its host, the address it was probed at.
// A row's findings go with its result: a new verdict replaces them, and a reset or the row's removal drops them.
class RowFindings
{
public:
    bool isEmpty() const
    {
        return m_exitOf.isEmpty() && m_proxyOf.isEmpty() && m_siteOf.isEmpty() && m_attemptsOf.isEmpty();
    }
    // The address a row's echo page showed; empty for none.
    QString exitAddress(RowId row) const { return m_addresses.address(m_exitOf.value(row)); }
    // The address a row naming its host was probed at; empty for none.
    QString proxyAddress(RowId row) const { return m_addresses.address(m_proxyOf.value(row)); }
    std::optional<SiteVerdict> site(RowId row) const
    {
        const auto found = m_siteOf.constFind(row);
        return found == m_siteOf.cend() ? std::nullopt : std::optional(*found);
    }
    // The probes the row's verdict took: 1 unless it was tried again.
    int attempts(RowId row) const { return m_attemptsOf.value(row, 1); }
    // The findings of a verdict, in place of the row's former ones.
    void set(RowId row, const RowVerdict &verdict);
    void drop(RowId row)
    {
        m_exitOf.remove(row);
        m_proxyOf.remove(row);
        m_siteOf.remove(row);
        m_attemptsOf.remove(row);
    }
    // What from held of its row, now under another id here.
    void copy(const RowFindings &from, RowId fromRow, RowId row);
    void clear();

private:
    // Each address once, however many rows left through it.
    ExitAddresses m_addresses;
    QHash<RowId, quint32> m_exitOf;
    QHash<RowId, quint32> m_proxyOf;
    QHash<RowId, SiteVerdict> m_siteOf;
    // Only rows tried again: most take one probe.
    QHash<RowId, quint8> m_attemptsOf;
};

#include "proxylist/ExitAddresses.h"

quint32 ExitAddresses::add(const QString &address)
{
    if (address.isEmpty())
        return 0;
    const auto found = m_numbers.constFind(address);
    if (found != m_numbers.constEnd())
        return *found;
    m_addresses.append(address);
    const auto number = quint32(m_addresses.size());
    m_numbers.insert(address, number);
    return number;
}

void ExitAddresses::clear()
{
    m_addresses = {};
    m_numbers = {};
}

#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The exit addresses of the rows of a store, and those rows naming their hosts were probed at, each kept once however
// many rows share it: RowFindings holds each row's number. Number 0 is no address. Numbers stay valid until clear().
class ExitAddresses
{
public:
    // The number of the address; 0 for an empty one.
    quint32 add(const QString &address);
    QString address(quint32 number) const { return number == 0 ? QString() : m_addresses[qsizetype(number - 1)]; }
    void clear();

private:
    QStringList m_addresses;
    QHash<QString, quint32> m_numbers;
};

#pragma once

#include "proxylist/Result.h"

#include <QByteArray>
#include <QString>

class ProxyTableModel;

// The proxy texts of all rows, or of the selected rows, in table order, each followed by CR LF.
class ProxyExporter
{
public:
    ProxyExporter(const ProxyTableModel &table, bool selectedOnly);

    QString text() const;
    // One byte per character, as files are read; a character beyond Latin-1 is written as "?".
    QByteArray latin1() const;
    // Writes latin1() as the whole file; if anything fails, the former file stays as it was, byte for byte.
    Result<> saveToFile(const QString &path) const;

private:
    template <typename F> void forEachRow(F f) const;
    qsizetype exportedSize() const;

    const ProxyTableModel &m_table;
    bool m_selectedOnly;
};

#pragma once

#include "cli/CliOptions.h"

#include <QByteArray>
#include <QString>

#include <vector>

class ProxyTableModel;

// The results of a check as korvane-cli prints them.
class CheckReport
{
public:
    CheckReport(const ProxyTableModel &table, const CliOptions &options) : m_table(table), m_options(options) {}

    // The rows that got a verdict and pass --only, in table order.
    std::vector<int> reportedRows() const;
    // Text, status and anonymity, tab-separated, one line per row; or the JSON array; or, with --only and no
    // --json, the proxy texts alone.
    QByteArray text(const std::vector<int> &rows) const;

    // A tab, CR, LF or backslash inside a field would break the line apart: written as \t, \r, \n and \\.
    static QString escaped(const QString &field);
    // The texts of the rows, one per line.
    static QByteArray proxyTexts(const ProxyTableModel &table, const std::vector<int> &rows);

private:
    QByteArray tabSeparated(const std::vector<int> &rows) const;
    QByteArray json(const std::vector<int> &rows) const;

    const ProxyTableModel &m_table;
    const CliOptions &m_options;
};

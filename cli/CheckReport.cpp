#include "cli/CheckReport.h"

#include "proxylist/CellText.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyRow.h"
#include "proxylist/ProxyTableModel.h"

namespace {
QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + u'"';
}
} // namespace

std::vector<int> CheckReport::reportedRows() const
{
    std::optional<ProxyFilter> filter;
    if (m_options.rows == CliOptions::WorkingRows)
        filter.emplace(ProxyFilter::KeepWorking);
    else if (m_options.rows == CliOptions::AnonymousRows)
        filter.emplace(ProxyFilter::KeepAnonymous);
    std::vector<int> rows;
    for (int r = 1; r <= m_table.count(); ++r) {
        if (!CellText::isVerdict(m_table.subItem(r, ProxyTableModel::Status)))
            continue;
        if (!filter || filter->matches(m_table.rowAt(r), false))
            rows.push_back(r);
    }
    return rows;
}

QByteArray CheckReport::text(const std::vector<int> &rows) const
{
    if (m_options.json)
        return json(rows);
    if (m_options.rows != CliOptions::AllRows)
        return proxyTexts(m_table, rows);
    return tabSeparated(rows);
}

QString CheckReport::escaped(const QString &field)
{
    // The backslash first, so that the others' backslashes stay single.
    return QString(field)
        .replace(u'\\', QLatin1String("\\\\"))
        .replace(u'\t', QLatin1String("\\t"))
        .replace(u'\r', QLatin1String("\\r"))
        .replace(u'\n', QLatin1String("\\n"));
}

QByteArray CheckReport::tabSeparated(const std::vector<int> &rows) const
{
    QString out;
    for (const int r : rows) {
        out += escaped(m_table.itemText(r)) + u'\t' + m_table.subItem(r, ProxyTableModel::Status) + u'\t' +
               m_table.subItem(r, ProxyTableModel::Anonymity) + u'\n';
    }
    // A list file is one byte per character, and so is what is printed of it.
    return out.toLatin1();
}

QByteArray CheckReport::json(const std::vector<int> &rows) const
{
    // Written by hand to keep the fields in the order of the other formats: proxy, status, anonymity.
    QString out = QStringLiteral("[");
    const char *separator = "\n";
    for (const int r : rows) {
        out += QLatin1String(separator) + QStringLiteral("{\"proxy\": ") + jsonString(m_table.itemText(r)) +
               QStringLiteral(", \"status\": ") + jsonString(m_table.subItem(r, ProxyTableModel::Status)) +
               QStringLiteral(", \"anonymity\": ") + jsonString(m_table.subItem(r, ProxyTableModel::Anonymity)) + u'}';
        separator = ",\n";
    }
    out += QStringLiteral("\n]\n");
    return out.toUtf8();
}

QByteArray CheckReport::proxyTexts(const ProxyTableModel &table, const std::vector<int> &rows)
{
    QString out;
    for (const int r : rows)
        out += table.itemText(r) + u'\n';
    return out.toLatin1();
}

#include "proxylist/ProxyExporter.h"

#include "proxylist/ListFileWriter.h"
#include "proxylist/ProxyTableModel.h"

#include <vector>

ProxyExporter::ProxyExporter(const ProxyTableModel &table, bool selectedOnly)
    : m_table(table), m_selectedOnly(selectedOnly)
{}

template <typename F> void ProxyExporter::forEachRow(F f) const
{
    const int rows = m_table.count();
    const std::vector<bool> selected = m_selectedOnly ? m_table.selectedRows() : std::vector<bool>();
    for (int r = 1; r <= rows; ++r) {
        if (!m_selectedOnly || selected[size_t(r - 1)])
            f(m_table.itemText(r));
    }
}

qsizetype ProxyExporter::exportedSize() const
{
    qsizetype size = 0;
    forEachRow([&size](const QString &text) { size += text.size() + 2; });
    return size;
}

QString ProxyExporter::text() const
{
    QString text;
    text.reserve(exportedSize());
    forEachRow([&text](const QString &row) {
        text += row;
        text += u"\r\n";
    });
    return text;
}

QByteArray ProxyExporter::latin1() const
{
    QByteArray bytes(exportedSize(), Qt::Uninitialized);
    char *out = bytes.data();
    forEachRow([&out](const QString &row) {
        for (QChar c : row)
            *out++ = c.unicode() < 0x100 ? char(c.unicode()) : '?';
        *out++ = '\r';
        *out++ = '\n';
    });
    return bytes;
}

Result<> ProxyExporter::saveToFile(const QString &path) const
{
    return ListFileWriter(path).write(latin1());
}

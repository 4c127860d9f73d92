#include "proxylist/ProxyWriter.h"

#include "proxylist/ProxyTableModel.h"
#include "proxylist/ProxyValidator.h"

#include <algorithm>

namespace {
QString escaped(const QString &field)
{
    // The backslash first, so that the others' backslashes stay single.
    return QString(field)
        .replace(u'\\', QLatin1String("\\\\"))
        .replace(u'\t', QLatin1String("\\t"))
        .replace(u'\r', QLatin1String("\\r"))
        .replace(u'\n', QLatin1String("\\n"));
}

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

QByteArray ProxyWriter::list(const ProxyTableModel &table, const std::vector<int> &rows, QByteArrayView lineEnd,
                             QByteArrayView bareScheme)
{
    const auto scheme = [&](int r) {
        return bareScheme.isEmpty() || ProxyValidator::hasScheme(table.text(r)) ? QByteArrayView() : bareScheme;
    };
    qsizetype size = 0;
    for (const int r : rows)
        size += scheme(r).size() + table.text(r).size() + lineEnd.size();
    // Written straight into its place: a copy of each row first would cost as much again.
    QByteArray bytes(size, Qt::Uninitialized);
    char *out = bytes.data();
    for (const int r : rows) {
        const QByteArrayView prefix = scheme(r);
        out = std::copy(prefix.begin(), prefix.end(), out);
        const QLatin1StringView text = table.text(r);
        out = std::copy(text.begin(), text.end(), out);
        out = std::copy(lineEnd.begin(), lineEnd.end(), out);
    }
    return bytes;
}

QByteArray ProxyWriter::tabSeparated(const ProxyTableModel &table, const std::vector<int> &rows)
{
    QString out;
    for (const int r : rows) {
        const ProxyResult &result = table.result(r);
        out += escaped(table.text(r)) + u'\t' + ProxyTableModel::statusText(result) + u'\t' +
               ProxyTableModel::anonymityText(result) + u'\t' +
               (result.ms ? QString::number(*result.ms) : QStringLiteral("-")) + u'\n';
    }
    // A list file is one byte per character, and so is what is printed of it.
    return out.toLatin1();
}

QByteArray ProxyWriter::json(const ProxyTableModel &table, const std::vector<int> &rows)
{
    // Written by hand to keep the fields in the order of the other forms: proxy, status, anonymity, time.
    QString out = QStringLiteral("[");
    const char *separator = "\n";
    for (const int r : rows) {
        const ProxyResult &result = table.result(r);
        out += QLatin1String(separator) + QStringLiteral("{\"proxy\": ") + jsonString(table.text(r)) +
               QStringLiteral(", \"status\": ") + jsonString(ProxyTableModel::statusText(result)) +
               QStringLiteral(", \"anonymity\": ") + jsonString(ProxyTableModel::anonymityText(result)) +
               QStringLiteral(", \"ms\": ") + (result.ms ? QString::number(*result.ms) : QStringLiteral("null")) + u'}';
        separator = ",\n";
    }
    out += QStringLiteral("\n]\n");
    return out.toUtf8();
}

// libFuzzer target for the line test and the loader. The first byte picks the route and the locale; the rest is
// a file's bytes, or clipboard text as UTF-16 (lone surrogates included). Beyond not crashing, it checks what a
// load promises: every row passes the test, no text is kept twice, and saving the rows and loading them again
// gives the same rows.
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyLoader.h"
#include "proxylist/ProxyValidator.h"
#include "proxylist/ProxyWriter.h"
#include "proxylist/RowText.h"

#include <QSet>

#include <algorithm>
#include <cstdlib>

namespace {
void require(bool condition)
{
    if (!condition)
        std::abort();
}

QStringList texts(const ProxyList &table)
{
    QStringList texts;
    for (int r = 0; r < table.count(); ++r)
        texts.append(table.text(r));
    return texts;
}

// The list a save writes of every row.
QByteArray savedList(const ProxyList &table)
{
    return ProxyWriter::list(table, ProxyFilter::everyRow().rows(table));
}

void checkTable(const ProxyList &table, const ProxyValidator &validator)
{
    QSet<QString> seen;
    for (const QString &text : texts(table)) {
        require(validator.isValidProxy(text));
        require(!seen.contains(text));
        seen.insert(text);
    }
}

void checkNumbers(QStringView text, const ProxyValidator &validator)
{
    if (validator.ipv4Address(text))
        require(validator.isValidIp(text));
    if (const std::optional<quint16> port = validator.portNumber(text))
        require(*port >= 1 && validator.numericValue(text) == double(*port));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const ProxyValidator us(QLocale(QLocale::English, QLocale::UnitedStates));
    static const ProxyValidator german(QLocale(QLocale::German, QLocale::Germany));
    if (size == 0)
        return 0;
    const int route = data[0];
    const ProxyValidator &validator = (route & 1) ? german : us;
    const bool merge = route & 2;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    ProxyList table;
    ProxyLoader loader(table, validator);
    // A merge goes into a table that already holds rows, one of them twice.
    if (merge)
        table.addRows({QStringLiteral("1.2.3.4:80"), QStringLiteral("5.6.7.8:81"), QStringLiteral("1.2.3.4:80")});

    if (route & 4) {
        const QString text(reinterpret_cast<const QChar *>(bytes.data()), bytes.size() / 2);
        checkNumbers(text, validator);
        loader.loadFromClipboard(text, merge);
        checkTable(table, validator);
        const QStringList rows = texts(table);
        loader.loadFromClipboard(RowText::decode(savedList(table)), false);
        require(texts(table) == rows);
    } else {
        // A file's line is the same characters, one byte each, whichever way it is tested.
        const QLatin1StringView latin1(bytes.data(), bytes.size());
        require(validator.isValidProxy(latin1) == validator.isValidProxy(QString(latin1)));
        // No start of a line that passes is judged to fail, nor one of a line that fails judged to pass.
        const auto never =
            validator.isValidProxy(latin1) ? ProxyValidator::Outlook::Fails : ProxyValidator::Outlook::Passes;
        for (qsizetype k = 0; k <= std::min<qsizetype>(latin1.size(), 600); ++k)
            require(validator.outlook(latin1.first(k)) != never);
        loader.loadFromBytes(bytes, merge);
        checkTable(table, validator);
        const QStringList rows = texts(table);
        loader.loadFromBytes(savedList(table), false);
        require(texts(table) == rows);
    }
    return 0;
}

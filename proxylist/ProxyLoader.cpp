#include "proxylist/ProxyLoader.h"

#include "proxylist/NativeName.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/ProxyValidator.h"
#include "proxylist/TextFunctions.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <type_traits>
#include <vector>

namespace {
// Gathers the lines to add, dropping every text already in the table or already gathered, and marks the table's
// own later copies of a text for removal. The first copy in table order survives, rows already in the table
// come before new lines: the same rows as appending everything and then comparing each row with all later ones.
class UniqueLines
{
public:
    UniqueLines(const ProxyTableModel &table, qsizetype newLines) : m_keep(size_t(table.count()), true)
    {
        m_seen.reserve(table.count() + newLines);
        m_lines.reserve(newLines);
        for (int r = 0; r < table.count(); ++r) {
            if (!insert(table.text(r))) {
                m_keep[size_t(r)] = false;
                m_dropsRows = true;
            }
        }
    }

    // A line already seen costs no allocation: most lines of a merge are usually in the table already.
    void offer(QStringView line)
    {
        if (m_seen.contains(line))
            return;
        m_lines.append(line.toString());
        insert(m_lines.constLast());
    }

    void commit(ProxyTableModel &table)
    {
        // The set points into the table's texts and the gathered lines; it must go before they change.
        m_seen = {};
        if (m_dropsRows)
            table.keepRows(m_keep);
        table.addRows(std::move(m_lines));
    }

private:
    bool insert(QStringView text)
    {
        const qsizetype before = m_seen.size();
        m_seen.insert(text);
        return m_seen.size() != before;
    }

    QSet<QStringView> m_seen;
    QStringList m_lines;
    std::vector<bool> m_keep;
    bool m_dropsRows = false;
};

struct ByteRange
{
    qsizetype begin;
    qsizetype size;
};

// Calls f(begin, size) for each line of a file's bytes or of clipboard text: a line ends at CR LF, at a lone CR
// or at a lone LF, the terminator not included; after the last terminator the rest is a line unless it is empty.
// Each break character is found by the library's fast search and looked for again only once the scan passes it.
template <typename Text, typename F> void forEachLine(Text text, F f)
{
    using Char = std::remove_cvref_t<decltype(text[0])>;
    const Char cr(u'\r');
    const Char lf(u'\n');
    const qsizetype size = text.size();
    const auto next = [&](Char c, qsizetype from) {
        const qsizetype at = text.indexOf(c, from);
        return at < 0 ? size : at;
    };
    qsizetype nextCr = -1;
    qsizetype nextLf = -1;
    qsizetype begin = 0;
    while (begin < size) {
        if (nextCr < begin)
            nextCr = next(cr, begin);
        if (nextLf < begin)
            nextLf = next(lf, begin);
        const qsizetype end = std::min(nextCr, nextLf);
        f(begin, end - begin);
        begin = end + 1;
        if (end == nextCr && begin < size && text[begin] == lf)
            ++begin;
    }
}

// A list file holds one byte per character: a row with a character beyond U+00FF could not be saved as it is.
bool fitsListFile(QStringView line)
{
    return std::all_of(line.begin(), line.end(), [](QChar c) { return c.unicode() <= 0xff; });
}
} // namespace

Result<> ProxyLoader::loadFromFile(const QString &path, bool merge)
{
    const Result<QByteArray> data = ListFileReader::read(path);
    if (!data)
        return Failure{data.error()};
    loadFromBytes(*data, merge);
    return {};
}

void ProxyLoader::loadFromBytes(QByteArrayView data, bool merge)
{
    if (!merge)
        m_table.clear();

    // Lines are tested on the bytes in place; only accepted ones become text.
    std::vector<ByteRange> accepted;
    forEachLine(data, [&](qsizetype begin, qsizetype size) {
        if (m_validator.isValidProxy(QLatin1StringView(data.data() + begin, size)))
            accepted.push_back({begin, size});
    });

    UniqueLines lines(m_table, qsizetype(accepted.size()));
    QString line; // reused: one byte per character, widened in place
    for (const ByteRange &range : accepted) {
        line.resize(range.size);
        const char *bytes = data.data() + range.begin;
        std::transform(bytes, bytes + range.size, line.data(), [](char c) { return char16_t(uchar(c)); });
        lines.offer(line);
    }
    lines.commit(m_table);
}

void ProxyLoader::loadFromClipboard(QStringView text, bool merge)
{
    if (!merge)
        m_table.clear();

    std::vector<QStringView> accepted;
    forEachLine(text, [&](qsizetype begin, qsizetype size) {
        const QStringView piece = text.sliced(begin, size);
        if (!trimBlanks(piece).isEmpty() && fitsListFile(piece) && m_validator.isValidProxy(piece))
            accepted.push_back(piece);
    });

    UniqueLines lines(m_table, qsizetype(accepted.size()));
    for (QStringView piece : accepted)
        lines.offer(piece);
    lines.commit(m_table);
}

QStringList ProxyLoader::mergeLists(const QStringList &names, ListFileReader::Sources sources)
{
    QStringList failures;
    for (const QString &name : names) {
        const bool standardInput = sources == ListFileReader::PipesAndDevicesToo && name == QLatin1String("-");
        const Result<QByteArray> data =
            standardInput ? ListFileReader::readStandardInput() : ListFileReader::read(name, sources);
        if (data)
            loadFromBytes(*data, true);
        else
            failures.append((standardInput ? tr("standard input") : NativeName::readable(name)) + u": " + data.error());
    }
    return failures;
}

void ProxyLoader::removeDuplicates(ProxyTableModel &table)
{
    UniqueLines(table, 0).commit(table);
}

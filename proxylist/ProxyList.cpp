#include "proxylist/ProxyList.h"

#include "location/GeoDatabase.h"
#include "proxylist/ProxyValidator.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <climits>
#include <string_view>

namespace {
// A sort key: a number per row, compared first, and the row it stands for.
struct Key
{
    quint64 value;
    int row;
};

// Each site status's place among the statuses' words, byte by byte.
constexpr quint64 siteWordRank(SiteStatus status)
{
    quint64 before = 0;
    for (const SiteStatusWord &other : SiteStatusWords)
        before += std::string_view(other.word) < std::string_view(SiteStatusWords[size_t(status)].word) ? 1 : 0;
    return before;
}
// A row's country beside it: 0 before the database was asked, NoCountry when it knew none, else the code's two
// characters (printable ASCII) side by side, so that marks sort as the codes do.
constexpr quint16 NoCountry = 1;
constexpr int CountryCharBits = 7;
constexpr quint16 CountryMarks = 1u << (2 * CountryCharBits);

quint16 countryMarkOf(const std::optional<GeoInfo> &found)
{
    if (!found || found->countryCode.size() != 2)
        return NoCountry;
    const auto printable = [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; };
    const QString &code = found->countryCode;
    if (!printable(code[0]) || !printable(code[1]))
        return NoCountry;
    return quint16((code[0].unicode() << CountryCharBits) | code[1].unicode());
}

QString countryCodeOf(quint16 mark)
{
    if (mark <= NoCountry)
        return {};
    const std::array<QChar, 2> code{QChar(mark >> CountryCharBits), QChar(mark & ((1u << CountryCharBits) - 1))};
    return QString(code.data(), 2);
}

static_assert(siteWordRank(SiteStatus::Error) == 0 && siteWordRank(SiteStatus::TextMissing) == SiteStatusCount - 1,
              "the site's ranks follow its words, not the enum");
} // namespace

void ProxyList::addRows(const QStringList &texts)
{
    ProxyRows rows;
    for (const QString &text : texts)
        rows.append(text.toLatin1());
    appendRows(std::move(rows));
}

void ProxyList::appendRows(ProxyRows &&rows)
{
    if (rows.count() == 0)
        return;
    const int first = count();
    Q_EMIT rowsAboutToBeAppended(first, first + rows.count() - 1);
    m_rows.take(std::move(rows));
    Q_EMIT rowsAppended();
}

ProxyRows ProxyList::appendJoined(ProxyRows &&joined)
{
    const int first = count();
    if (joined.count() <= first)
        return ProxyRows();
    Q_EMIT rowsAboutToBeAppended(first, joined.count() - 1);
    ProxyRows old = m_rows.adopt(std::move(joined));
    Q_EMIT rowsAppended();
    return old;
}

ProxyRows ProxyList::replaceRows(ProxyRows &&rows)
{
    Q_EMIT aboutToBeReplaced();
    ProxyRows former = m_rows.emptied();
    m_rows.take(std::move(rows));
    Q_EMIT replaced();
    return former;
}

void ProxyList::clear()
{
    if (count() > 0)
        replaceRows(ProxyRows());
}

void ProxyList::keepRows(const std::vector<bool> &keep)
{
    Q_ASSERT(keep.size() == size_t(count()));
    if (keep.size() != size_t(count()) || std::all_of(keep.begin(), keep.end(), [](bool k) { return k; }))
        return;
    Q_EMIT aboutToBeRearranged();
    const std::vector<int> newPosition = m_rows.keep(keep);
    Q_EMIT rearranged(newPosition);
}

void ProxyList::sort(Column column, Qt::SortOrder order, const ResultPairRanks &wordRanks)
{
    std::vector<Key> keys(static_cast<size_t>(count()));
    const auto keyEach = [&](auto value) {
        for (int r = 0; r < count(); ++r)
            keys[size_t(r)] = {value(r), r};
    };
    // Ties of a text's first eight bytes are told by the rest of it.
    const SortKey key = ColumnSorts[size_t(column)].key;
    const bool byTextToo = key == SortKey::Text;
    switch (key) {
    case SortKey::Text:
        keyEach([this](int r) {
            const QLatin1StringView text = m_rows.text(r);
            quint64 prefix = 0;
            for (qsizetype i = 0; i < 8; ++i)
                prefix = (prefix << 8) | (i < text.size() ? uchar(text.data()[i]) : 0);
            return prefix;
        });
        break;
    case SortKey::Time:
        keyEach([this](int r) { return quint64(m_rows.result(r).ms.value_or(INT_MAX)); });
        break;
    case SortKey::ResultWords:
        keyEach([&](int r) { return quint64(wordRanks[size_t(resultPair(m_rows.result(r)))]); });
        break;
    case SortKey::Country:
        // As the Site column: rows of no known country below the rest whichever way.
        keyEach([this, order](int r) {
            const quint16 mark = countryMark(r);
            if (mark == NoCountry)
                return quint64(order == Qt::AscendingOrder ? CountryMarks : 0);
            return quint64(mark);
        });
        break;
    case SortKey::Uptime:
        // Rows the history knows nothing of below the rest, either way.
        keyEach([this, order](int r) {
            const std::optional<RowHistory> history = m_rows.history(r);
            if (!history || history->counted == 0)
                return quint64(order == Qt::AscendingOrder ? 101 : 0);
            return quint64(history->uptimePercent()) + 1;
        });
        break;
    case SortKey::SiteWords:
        // Rows never fetched through say nothing of the site: below the rest whichever way the column is sorted.
        keyEach([this, order](int r) {
            const std::optional<SiteVerdict> site = m_rows.site(r);
            if (order == Qt::AscendingOrder)
                return site ? siteWordRank(site->status) : quint64(SiteStatusCount);
            return site ? siteWordRank(site->status) + 1 : 0;
        });
        break;
    }
    const auto less = [&](const Key &a, const Key &b) {
        return a.value != b.value ? a.value < b.value : byTextToo && m_rows.textLess(a.row, b.row);
    };
    if (order == Qt::AscendingOrder)
        std::stable_sort(keys.begin(), keys.end(), less);
    else
        std::stable_sort(keys.begin(), keys.end(), [&less](const Key &a, const Key &b) { return less(b, a); });
    std::vector<int> byKey(keys.size());
    std::transform(keys.begin(), keys.end(), byKey.begin(), [](const Key &key) { return key.row; });
    keys = {};
    rearrange(byKey);
}

void ProxyList::rearrange(const std::vector<int> &order)
{
    Q_EMIT aboutToBeRearranged();
    std::vector<int> newPosition(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        newPosition[size_t(order[i])] = int(i);
    m_rows.reorder(order);
    Q_EMIT rearranged(newPosition);
}

void ProxyList::apply(int row, const RowVerdict &verdict)
{
    if (!isValidRow(row))
        return;
    m_rows.apply(row, verdict);
    Q_EMIT resultsChanged(row, row);
}

void ProxyList::resetResults(const std::vector<bool> &reset)
{
    Q_ASSERT(reset.size() == size_t(count()));
    int first = -1;
    int last = -1;
    for (size_t i = 0; i < size_t(count()) && i < reset.size(); ++i) {
        if (!reset[i])
            continue;
        m_rows.reset(int(i));
        if (first < 0)
            first = int(i);
        last = int(i);
    }
    // One notice for the span: one per row costs seconds on a list of a million rows.
    if (first >= 0)
        Q_EMIT resultsChanged(first, last);
}

std::vector<bool> ProxyList::flagsOf(const std::vector<int> &rows) const
{
    std::vector<bool> flags(size_t(count()), false);
    for (const int r : rows)
        flags[size_t(r)] = true;
    return flags;
}

void ProxyList::setHistories(const std::vector<std::pair<RowId, RowHistory>> &histories)
{
    if (histories.empty())
        return;
    QHash<RowId, int> rowOf;
    rowOf.reserve(count());
    for (int r = 0; r < count(); ++r)
        rowOf.insert(id(r), r);
    for (const auto &[rowId, history] : histories) {
        if (const auto found = rowOf.constFind(rowId); found != rowOf.cend())
            setHistory(*found, history);
    }
    Q_EMIT resultsChanged(0, count() - 1);
}

QHostAddress ProxyList::locatedAddress(int row) const
{
    for (const QString &found : {exitAddress(row), m_rows.proxyAddress(row)}) {
        if (!found.isEmpty())
            return QHostAddress(found);
    }
    // The loader's number rules, "010.0.0.1" being 10.0.0.1; one reader per thread, its locale read once.
    thread_local const ProxyValidator validator;
    const std::optional<ProxyAddress> proxy = validator.address(text(row));
    return proxy ? proxy->host : QHostAddress();
}

std::optional<GeoInfo> ProxyList::locate(int row) const
{
    return GeoDatabase::forThisThread().locate(locatedAddress(row));
}

std::optional<GeoInfo> ProxyList::location(int row) const
{
    return GeoDatabase::forThisThread().lookUp(locatedAddress(row));
}

quint16 ProxyList::countryMark(int row) const
{
    const GeoDatabase &database = GeoDatabase::forThisThread();
    if (database.serial() != m_countriesFrom) {
        m_rows.forgetCountries();
        m_countriesFrom = database.serial();
    }
    quint16 mark = m_rows.countryMark(row);
    if (mark == 0) {
        mark = countryMarkOf(database.locate(locatedAddress(row)));
        m_rows.noteCountry(row, mark);
    }
    return mark;
}

QString ProxyList::countryCode(int row) const
{
    return countryCodeOf(countryMark(row));
}

QList<ProxyList::CountryCount> ProxyList::countryCounts() const
{
    std::vector<qsizetype> rowsOf(CountryMarks);
    for (int r = 0; r < count(); ++r)
        ++rowsOf[countryMark(r)];
    QList<CountryCount> counts;
    for (quint16 mark = NoCountry; mark < CountryMarks; ++mark) {
        if (rowsOf[mark] > 0)
            counts.append({countryCodeOf(mark), rowsOf[mark]});
    }
    std::sort(counts.begin(), counts.end(), [](const CountryCount &a, const CountryCount &b) {
        if (a.code.isEmpty() != b.code.isEmpty())
            return b.code.isEmpty();
        return a.rows != b.rows ? a.rows > b.rows : a.code < b.code;
    });
    return counts;
}

#pragma once

#include "location/GeoInfo.h"
#include "proxylist/ListColumn.h"
#include "proxylist/ProxyResult.h"
#include "proxylist/ProxyRows.h"
#include "proxylist/RowVerdict.h"

#include <QHostAddress>

#include <QLatin1StringView>
#include <QObject>
#include <QStringList>

#include <vector>

// The proxy list: the program's only store of proxies and their check results, rows numbered from 0 in the order
// on screen. The checker, the filters, the writers and korvane-cli work on it; the window shows it through
// ProxyTableModel, which follows it by its signals. It knows nothing of a view or a selection: commands that
// work on the selected rows are handed them.
class ProxyList : public QObject
{
    Q_OBJECT

public:
    // What the window shows of a row, in the order of its columns.
    using Column = ListColumn;
    static constexpr int ColumnCount = ListColumnCount;

    explicit ProxyList(QObject *parent = nullptr) : QObject(parent) {}

    int count() const { return m_rows.count(); }
    bool isValidRow(int row) const { return row >= 0 && row < count(); }
    // The line exactly as it was loaded, one byte per character.
    QLatin1StringView text(int row) const { return m_rows.text(row); }
    ProxyResult result(int row) const { return m_rows.result(row); }
    // The row's own number in this list, kept through sorts, filters and merges; no two rows hold the same.
    RowId id(int row) const { return m_rows.id(row); }
    // See ProxyRows::nextId().
    RowId nextId() const { return m_rows.nextId(); }
    // The address a working row's echo page showed, when it showed one: where the proxy leaves for the internet.
    // Never part of a list file.
    QString exitAddress(int row) const { return m_rows.exitAddress(row); }
    // What fetching the user's site through the row's proxy found; nothing when it was not asked.
    std::optional<SiteVerdict> site(int row) const { return m_rows.site(row); }
    // What the history of checks says of the row, once it has been read for it; nothing before, or without one.
    std::optional<RowHistory> history(int row) const { return m_rows.history(row); }
    // Kept through sorts, filters and merges, and through new verdicts; the row's reset or removal drops it.
    void setHistory(int row, const RowHistory &history) { m_rows.setHistory(row, history); }
    // The histories of rows by id, each beside its row when it is still here; one notice for all.
    void setHistories(const std::vector<std::pair<RowId, RowHistory>> &histories);
    // How many probes the row's verdict took: more than one when a failed probe was tried again.
    int attempts(int row) const { return m_rows.attempts(row); }
    // The address where the row's proxy is on the internet, as far as is known: its exit address when it has one,
    // else the address it was probed at when it names its host, else the address the row gives. Null for a row
    // naming its host before a check has looked it up.
    QHostAddress locatedAddress(int row) const;
    // Where that address is, from this thread's location database: country code, AS number and flags, without
    // names (location() adds them). Worked out when asked, never stored: nothing of it goes to a list file.
    std::optional<GeoInfo> locate(int row) const;
    std::optional<GeoInfo> location(int row) const;
    // The row's two-letter country code as locate() finds it, empty when it finds none. Noted beside the row at the
    // first ask, so that a sort or a filter asks the database once a row: until a verdict (which may bring another
    // exit address) or another opening of the database.
    QString countryCode(int row) const;
    // The countries of the rows, each with how many rows it has, most first (ties by code); the rows without a
    // country come last, under an empty code, when there are any.
    struct CountryCount
    {
        QString code;
        qsizetype rows = 0;
    };
    QList<CountryCount> countryCounts() const;
    // Whether a check has reset the row: it then shows black or its verdict's colour rather than the view's own.
    bool touched(int row) const { return m_rows.touched(row); }

    // Rows at the end, untested, each character the byte of its value; one beyond U+00FF is kept as "?".
    void addRows(const QStringList &texts);
    // Rows made elsewhere, appended at the end, untested.
    void appendRows(ProxyRows &&rows);
    // The list's rows followed by rows made elsewhere, in one store: made on another thread while nothing changes the
    // list, so that appendJoined() appends them without copying a byte. None when rows were not numbered on from
    // nextId().
    std::optional<ProxyRows> joinedWith(ProxyRows &rows) const { return m_rows.followedBy(rows); }
    // Rows that joinedWith() joined, the list unchanged since: the new ones are appended, untested. Returns what the
    // rows were stored in before, to be freed where a gigabyte's unmapping does not hold up the list's thread.
    ProxyRows appendJoined(ProxyRows &&joined);
    // These rows instead of the list's. Returns what the list's were stored in, as appendJoined() does.
    ProxyRows replaceRows(ProxyRows &&rows);
    void clear();
    // Keeps row r exactly when keep[r] is set, in one pass; keep must have count() entries.
    void keepRows(const std::vector<bool> &keep);
    // Reorders the rows by a column's key in ColumnSorts; a column of result words by wordRanks, each status and
    // anonymity's place among the words the column shows. Rows that show the same keep their order.
    void sort(Column column, Qt::SortOrder order, const ResultPairRanks &wordRanks);

    // The one door for a check's findings: a verdict and what came with it, or a row handed out or given back.
    void apply(int row, const RowVerdict &verdict);
    // Every row r with reset[r] set becomes untested and touched.
    void resetResults(const std::vector<bool> &reset);

    // Flags of the rows given, for the commands that take a list of rows.
    std::vector<bool> flagsOf(const std::vector<int> &rows) const;

Q_SIGNALS:
    // The results of rows first to last have changed.
    void resultsChanged(int first, int last);
    // Rows first to last are about to be appended, and have been.
    void rowsAboutToBeAppended(int first, int last);
    void rowsAppended();
    // Every row is about to go, and has gone, for other rows or none.
    void aboutToBeReplaced();
    void replaced();
    // Rows are about to be removed or reordered, and have been: newPosition[r] is where row r went, -1 if it went.
    void aboutToBeRearranged();
    void rearranged(const std::vector<int> &newPosition);

private:
    void rearrange(const std::vector<int> &order);
    quint16 countryMark(int row) const;

    ProxyRows m_rows;
    // The database opening the rows' country marks came from.
    mutable quint64 m_countriesFrom = 0;
};

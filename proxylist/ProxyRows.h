#pragma once

#include "proxylist/PackedRow.h"
#include "proxylist/ProxyResult.h"
#include "proxylist/RowFindings.h"
#include "proxylist/RowVerdict.h"

#include <QByteArrayView>
#include <QLatin1StringView>

#include <optional>
#include <vector>

// The rows of a proxy list, stored compactly: every row's line in one block of bytes, as a list file holds it, and
// beside it 16 bytes (a PackedRow): where the line lies and the row's result. Each row also has an id, which stays
// with it wherever it moves, and by which RowFindings keeps what a check found beyond those bytes. Rows are numbered
// from 0.
class ProxyRows
{
public:
    // firstId is where the ids begin; only a test of their running out needs another than 1.
    explicit ProxyRows(RowId firstId = 1) : m_firstId(firstId), m_nextId(firstId) {}

    int count() const { return int(m_rows.size()); }
    QLatin1StringView text(int row) const
    {
        const PackedRow &stored = m_rows[size_t(row)];
        return QLatin1StringView(m_bytes.data() + stored.offset(), stored.length());
    }
    ProxyResult result(int row) const { return m_rows[size_t(row)].result(); }
    RowId id(int row) const { return m_ids[size_t(row)]; }
    // The id the next row will get. Rows gathered elsewhere from it on (a load asks before it reads) keep their ids
    // when they come in, so that a large list replaces another without a pass over its rows.
    RowId nextId() const { return m_nextId; }
    // The address a working row's echo page showed, as the checker wrote it; empty for none.
    QString exitAddress(int row) const { return m_findings.exitAddress(id(row)); }
    QString proxyAddress(int row) const { return m_findings.proxyAddress(id(row)); }
    std::optional<SiteVerdict> site(int row) const { return m_findings.site(id(row)); }
    std::optional<RowHistory> history(int row) const { return m_findings.history(id(row)); }
    void setHistory(int row, const RowHistory &history) { m_findings.setHistory(id(row), history); }
    int attempts(int row) const { return m_findings.attempts(id(row)); }
    // The verdict's result in the row's bytes and the rest of it beside the row.
    void apply(int row, const RowVerdict &verdict)
    {
        m_rows[size_t(row)].setResult(verdict.result);
        m_findings.set(id(row), verdict);
    }
    // What the location database said of the row's country, kept with the row until its result changes: a cache, so
    // noted by readers of a const store.
    quint16 countryMark(int row) const { return m_rows[size_t(row)].countryMark(); }
    void noteCountry(int row, quint16 mark) const { m_rows[size_t(row)].setCountryMark(mark); }
    void forgetCountries() const;
    // A check has reset the row: it shows black or its verdict's colour rather than the view's own colour.
    bool touched(int row) const { return m_rows[size_t(row)].touched(); }
    // Untested and touched, without findings.
    void reset(int row)
    {
        m_rows[size_t(row)].reset();
        m_findings.drop(id(row));
    }

    // A new untested row.
    void append(QByteArrayView text);
    // Every row of other, after these, each with a new id of this store; other is left empty.
    void take(ProxyRows &&other);
    // These rows followed by other's, in a store of their own with their ids and without findings: an append made on
    // another thread while these rows stay as they are, for adopt() to take in at once. None when other's rows are
    // not numbered on from nextId() or have findings; other is left empty when there is one.
    std::optional<ProxyRows> followedBy(ProxyRows &other) const;
    // The rows of a store that followedBy() made of these: these rows' findings stay, and the new rows come after
    // them. Returns what these rows were stored in, for the caller to free where it suits it.
    ProxyRows adopt(ProxyRows &&joined);
    void clear();
    // Empties the store, which keeps its next id, and returns what it held: for the caller to free where it suits it.
    ProxyRows emptied();
    void reserve(int rows, qsizetype bytes);
    // Keeps the first rows only; the rows after them must have been appended after them.
    void truncate(int rows);
    // Keeps row r exactly when keep[r]; returns each row's new place, -1 for those gone.
    std::vector<int> keep(const std::vector<bool> &keep);
    // Puts the rows in the order given: order[i] is the row that comes i-th.
    void reorder(const std::vector<int> &order);
    // Whether row a's text comes before row b's, byte by byte: the order of the characters as the window shows them.
    bool textLess(int a, int b) const;

private:
    // Writes out only the bytes of the rows that are left, when the lines of rows gone hold more than those do.
    void compact();
    void dropFindings(size_t from, size_t to);
    // The first of count new ids. Were they to run out, the rows there are first get ids 1, 2, … again.
    RowId takeIds(size_t count);
    void renumber();

    std::vector<char> m_bytes;
    mutable std::vector<PackedRow> m_rows;
    // Row r's id is m_ids[r]; ids count up and no two rows hold the same one.
    std::vector<RowId> m_ids;
    // Every id here is at least m_firstId and below m_nextId.
    RowId m_firstId;
    RowId m_nextId;
    RowFindings m_findings;
};

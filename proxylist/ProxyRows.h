#pragma once

#include "proxylist/ExitAddresses.h"
#include "proxylist/PackedRow.h"
#include "proxylist/ProxyResult.h"

#include <QByteArrayView>
#include <QLatin1StringView>

#include <vector>

// The rows of a proxy list, stored compactly: every row's line in one block of bytes, as a list file holds it, and
// beside it 16 bytes (a PackedRow): where the line lies, the row's result and its exit address. Rows are numbered from
// 0.
class ProxyRows
{
public:
    int count() const { return int(m_rows.size()); }
    QLatin1StringView text(int row) const
    {
        const PackedRow &stored = m_rows[size_t(row)];
        return QLatin1StringView(m_bytes.data() + stored.offset(), stored.length());
    }
    ProxyResult result(int row) const { return m_rows[size_t(row)].result(); }
    // The address a working row's echo page showed, as the checker wrote it; empty for none.
    QString exitAddress(int row) const { return m_exits.address(m_rows[size_t(row)].exit()); }
    void setResult(int row, const ProxyResult &result, const QString &exitAddress = {})
    {
        m_rows[size_t(row)].setResult(result, m_exits.add(exitAddress));
    }
    // A check has reset the row: it shows black or its verdict's colour rather than the view's own colour.
    bool touched(int row) const { return m_rows[size_t(row)].touched(); }
    // Untested and touched.
    void reset(int row) { m_rows[size_t(row)].reset(); }

    // A new untested row.
    void append(QByteArrayView text);
    // Every row of other, after these; other is left empty.
    void take(ProxyRows &&other);
    void clear();
    void reserve(int rows, qsizetype bytes);
    // Keeps the first rows only; the rows after them must have been appended after them.
    void truncate(int rows);
    // Keeps row r exactly when keep[r]; returns each row's new place, -1 for those gone.
    std::vector<int> keep(const std::vector<bool> &keep);
    // Puts the rows in the order given: order[i] is the row that comes i-th.
    void reorder(const std::vector<int> &order);
    // Whether row a's text comes before row b's, byte by byte: the order of the characters as the table shows them.
    bool textLess(int a, int b) const;

private:
    // Writes out only the bytes of the rows that are left, when the lines of rows gone hold more than those do.
    void compact();

    std::vector<char> m_bytes;
    std::vector<PackedRow> m_rows;
    ExitAddresses m_exits;
};

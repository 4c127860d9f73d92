#pragma once

#include "proxylist/ProxyResult.h"

#include <QByteArrayView>
#include <QLatin1StringView>

#include <vector>

// The rows of a proxy list, stored compactly: every row's line in one block of bytes, one byte per character as a
// list file holds it, and beside it 12 bytes: where the line lies and the row's result, packed. Rows are numbered
// from 0.
class ProxyRows
{
public:
    int count() const { return int(m_rows.size()); }
    QLatin1StringView text(int row) const
    {
        const Row &stored = m_rows[size_t(row)];
        return QLatin1StringView(m_bytes.data() + offset(stored), qsizetype(stored.length));
    }
    ProxyResult result(int row) const;
    void setResult(int row, const ProxyResult &result);
    // A check has reset the row: it shows black or its verdict's colour rather than the view's own colour.
    bool touched(int row) const { return m_rows[size_t(row)].packed & TouchedBit; }
    // Untested and touched.
    void reset(int row) { m_rows[size_t(row)].packed = TouchedBit; }

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
    // The line's place: a 40-bit offset, its low 32 bits here and its high 8 in packed; then its length.
    // packed: status (3 bits), anonymity (2), touched (1), the offset's high byte (8), then the time in
    // milliseconds plus one (18 bits; 0 when there is none, and a time past 262,142 ms is kept as that).
    struct Row
    {
        quint32 offsetLow = 0;
        quint32 length = 0;
        quint32 packed = 0;
    };
    static constexpr quint32 StatusMask = 0x7;
    static constexpr int AnonymityShift = 3;
    static constexpr quint32 TouchedBit = 1u << 5;
    static constexpr int OffsetShift = 6;
    static constexpr int TimeShift = 14;
    static constexpr quint32 TimeMask = (1u << 18) - 1;

    static qint64 offset(const Row &row)
    {
        return qint64(row.offsetLow) | (qint64((row.packed >> OffsetShift) & 0xff) << 32);
    }
    // Writes out only the bytes of the rows that are left, when the lines of rows gone hold more than those do.
    void compact();

    std::vector<char> m_bytes;
    std::vector<Row> m_rows;
};

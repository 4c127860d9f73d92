#pragma once

#include "proxylist/ProxyRow.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QItemSelectionModel>
#include <QStringList>

#include <array>
#include <vector>

// The proxy table: the program's only store of proxies and test results.
//
// The row operations below number rows from 1 in the order on screen, as the rest of the program addresses
// them; the QAbstractItemModel overrides use Qt's 0-based rows. The selection lives in selectionModel(), which
// the view shares, so the logic reads the user's selection without a widget.
class ProxyTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ProxyColumn, AnonymityColumn, SpeedColumn, StatusColumn, ColumnCount };
    // Sub-item numbers: the result cells after the item text.
    enum SubItem { Anonymity = 1, Speed = 2, Status = 3 };

    // The view shows at most this many characters of a cell, then "…"; the stored text stays whole.
    static constexpr qsizetype MaxShownLength = 1000;

    explicit ProxyTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Reorders the rows by the text of a column; equal texts keep their order. Selection follows its rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int count() const { return int(m_rows.size()); }
    bool isValidRow(int row) const { return row >= 1 && row <= count(); }

    // Appends rows at the end of the table with empty result cells, in one insert notification.
    void add(const QString &text);
    void addRows(QStringList texts);
    void clear();
    void remove(int row);
    // Keeps row r exactly when keep[r - 1] is set, in one pass and one layout change; keep must have count()
    // entries. The selection, the current index and every persistent index of the rows that stay follow them.
    void keepRows(const std::vector<bool> &keep);

    const QString &itemText(int row) const { return m_rows[size_t(row - 1)].text; }
    ProxyRow rowAt(int row) const;
    // n is a SubItem (1..3). Unknown n reads as empty and is not written.
    const QString &subItem(int row, int n) const;
    void setSubItem(int row, int n, const QString &text);
    int color(int row) const { return m_rows[size_t(row - 1)].color; }
    // Colours every cell of the row; false when there is no such row.
    bool setProxyColor(int row, int color);
    // Writes the three result cells and the colour of a row in one change notification: a verdict is one change.
    void setResults(int row, const QString &anonymity, const QString &speed, const QString &status, int color);
    // Empties the result cells and colours black every row r with reset[r - 1] set, in one change notification.
    void resetResults(const std::vector<bool> &reset);
    // The number of rows whose sub-item n is exactly the text.
    qsizetype countRows(int n, const QString &text) const;

    QItemSelectionModel *selectionModel() const { return m_selection; }
    bool isSelected(int row) const;
    // A row counts as selected when any of its cells is. One flag per row, built from the selection ranges.
    std::vector<bool> selectedRows() const;

private:
    // A row as stored. The result cells only ever hold a handful of different words, so each cell keeps the
    // number of its word in m_words: a row costs 40 bytes beside its text instead of 112.
    struct StoredRow
    {
        QString text;
        std::array<quint32, 3> words{}; // sub-items 1..3; word 0 is the empty text
        int color = ProxyColor::Default;
    };

    const QString &cellText(const StoredRow &row, int column) const;
    static QString shownText(const QString &text);
    quint32 wordNumber(const QString &text);
    std::vector<quint32> wordRanks() const;
    void emitRowChanged(int row, int firstColumn, int lastColumn);
    void movePersistentIndexes(const std::vector<int> &newPosition);
    void selectRowRuns(const std::vector<bool> &rows);
    static void markRows(const QItemSelection &selection, std::vector<bool> &rows);
    std::vector<bool> takeSelection();

    std::vector<StoredRow> m_rows;
    QStringList m_words;
    QHash<QString, quint32> m_wordNumbers;
    QItemSelectionModel *m_selection;
};

#pragma once

#include "proxylist/ProxyResult.h"
#include "proxylist/ProxyRows.h"

#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QStringList>

#include <vector>

// The proxy table: the program's only store of proxies and check results. Rows are numbered from 0 in the order on
// screen. The selection lives in selectionModel(), which the view shares, so the logic reads the user's selection
// without a widget.
//
// data() is where rows and results become what the user sees: the words of each cell (DisplayRole; a row's bytes
// as RowText reads them), what a column sorts by (SortRole: the text, or the time in milliseconds for Speed) and the
// row's text colour (RowColorRole, an RGB value; the view paints it, so that the table needs no GUI library and
// korvane-cli runs where none is installed).
class ProxyTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ProxyColumn, AnonymityColumn, SpeedColumn, StatusColumn, ColumnCount };
    enum Role { SortRole = Qt::UserRole, RowColorRole };

    // The view shows at most this many characters (UTF-16 units, never half a character) of a cell, then "…"; the
    // stored text stays whole.
    static constexpr qsizetype MaxShownLength = 1000;

    explicit ProxyTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Reorders the rows by what a column shows: as text, and Speed by the time; rows that show the same keep their
    // order. Selection follows its rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The words of the result cells, as data() shows them and korvane-cli prints them.
    static QString statusText(const ProxyResult &result);
    static QString anonymityText(const ProxyResult &result);
    static QString speedText(const ProxyResult &result);

    int count() const { return m_rows.count(); }
    bool isValidRow(int row) const { return row >= 0 && row < count(); }
    // The line exactly as it was loaded, one byte per character.
    QLatin1StringView text(int row) const { return m_rows.text(row); }
    ProxyResult result(int row) const { return m_rows.result(row); }

    // Appends rows, untested, at the end of the table in one insert notification. Each character is the byte of
    // its value, as text(); one beyond U+00FF is kept as "?".
    void addRows(const QStringList &texts);
    // The same for rows made elsewhere, which are taken whole.
    void appendRows(ProxyRows &&rows);
    // These rows instead of the table's, in one reset.
    void replaceRows(ProxyRows &&rows);
    void clear();
    // Keeps row r exactly when keep[r] is set, in one pass and one layout change; keep must have count() entries.
    // The selection, the current index and every persistent index of the rows that stay follow them.
    void keepRows(const std::vector<bool> &keep);

    // A verdict, or a row handed out or given back, as one change notification of the row.
    void setResult(int row, const ProxyResult &result);
    // Every row r with reset[r] set becomes untested and black, in one change notification.
    void resetResults(const std::vector<bool> &reset);

    QItemSelectionModel *selectionModel() const { return m_selection; }
    bool isSelected(int row) const;
    // A row counts as selected when any of its cells is. One flag per row, built from the selection ranges.
    std::vector<bool> selectedRows() const;

private:
    QString cellText(int row, int column) const;
    static QString shownText(QLatin1StringView text);
    QVariant rowColor(int row) const;
    void emitRowChanged(int first, int last);
    void movePersistentIndexes(const std::vector<int> &newPosition);
    void selectRowRuns(const std::vector<bool> &rows);
    static void markRows(const QItemSelection &selection, std::vector<bool> &rows);
    std::vector<bool> takeSelection();

    ProxyRows m_rows;
    QItemSelectionModel *m_selection;
};

#pragma once

#include "proxylist/ProxyList.h"
#include "proxylist/RowSelection.h"

#include <QAbstractTableModel>
#include <QItemSelectionModel>

#include <vector>

// The proxy list as the window's view shows it: one row per row of the list, its columns, the words of its results
// and its colour. It follows the list by its signals and owns the selection, which the view shares, so that the
// commands read the user's selection without a widget.
//
// data() is where rows and results become what the user sees: the words of each cell (DisplayRole; a row's bytes as
// RowText reads them) and the row's text colour (RowColorRole, an RGB value; the Site cell's is its verdict's; the view
// paints it, so that this needs no GUI library).
class ProxyTableModel : public QAbstractTableModel, public RowSelection
{
    Q_OBJECT

public:
    enum Role { RowColorRole = Qt::UserRole };

    explicit ProxyTableModel(ProxyList &list, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // The list's own order by that column; the selection follows its rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    ProxyList &list() const { return m_list; }
    QItemSelectionModel *selectionModel() const { return m_selection; }
    bool isSelected(int row) const override;
    // A row counts as selected when any of its cells is. One flag per row, built from the selection ranges.
    std::vector<bool> selectedRows() const override;

private:
    QVariant rowColor(int row) const;
    // "Seen as" the address a working row's echo page showed, when it showed one.
    QVariant exitTip(int row) const;
    // The Site cell's own colour and tip, from the row's site verdict.
    QVariant siteColor(int row) const;
    QVariant siteTip(int row) const;
    // The Country cell's tip: the country's name, the network's AS number and name, and its flags.
    QVariant countryTip(int row) const;
    QVariant tipOf(int row, ListColumn column) const;
    void rearrangeRows(const std::vector<int> &newPosition);
    void movePersistentIndexes(const std::vector<int> &newPosition);
    void selectRowRuns(const std::vector<bool> &rows);
    static void markRows(const QItemSelection &selection, std::vector<bool> &rows);
    std::vector<bool> takeSelection();

    ProxyList &m_list;
    QItemSelectionModel *m_selection;
    // The selection while rows are removed or reordered, as one flag per row.
    std::vector<bool> m_selectedBefore;
};

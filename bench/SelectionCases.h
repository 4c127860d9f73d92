#pragma once

#include "app/ProxyTableModel.h"

#include <QItemSelection>
#include <QStringList>

// The filter benchmark's table and the user's selections on it. Rows 4k and 4k + 1 are "Working", so "Keep
// working proxies" keeps half the rows, and of a selection of every other row it keeps alternate rows: the
// most runs the kept selection can break into.
namespace SelectionCases {
// The list and the model the window shows it through.
struct Shown
{
    ProxyList list;
    ProxyTableModel model{list};
};

enum Case { Block, All, EveryOther, CaseCount };
inline const char *const names[CaseCount] = {"a block of half the rows", "every row (Ctrl+A)", "every other row"};

inline void fill(ProxyList &table, int rows)
{
    QStringList texts;
    texts.reserve(rows);
    for (int i = 0; i < rows; ++i)
        texts.append(QStringLiteral("10.%1.%2.%3:%4").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255).arg(80 + i % 7));
    table.addRows(texts);
    for (int row = 0; row < rows; ++row) {
        if (row % 4 < 2)
            table.apply(row, {ProxyResult::working(true)});
    }
}

inline void select(ProxyTableModel &table, Case which)
{
    const int rows = table.rowCount();
    const int last = ProxyList::ColumnCount - 1;
    QItemSelection selection;
    switch (which) {
    case Block:
        selection.select(table.index(rows / 4, 0), table.index(rows / 4 + rows / 2 - 1, last));
        break;
    case All:
        selection.select(table.index(0, 0), table.index(rows - 1, last));
        break;
    case EveryOther:
    case CaseCount:
        selection.reserve(rows / 2);
        for (int row = 0; row < rows; row += 2)
            selection.append(QItemSelectionRange(table.index(row, 0), table.index(row, last)));
        break;
    }
    table.selectionModel()->select(selection, QItemSelectionModel::Select);
    table.selectionModel()->setCurrentIndex(table.index(rows / 2, 0), QItemSelectionModel::NoUpdate);
}

inline int selectedCount(const ProxyTableModel &table)
{
    int count = 0;
    for (bool selected : table.selectedRows())
        count += selected ? 1 : 0;
    return count;
}
} // namespace SelectionCases

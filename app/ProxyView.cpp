#include "app/ProxyView.h"

#include "app/RowColorDelegate.h"

#include <utility>

ProxyView::ProxyView(QWidget *parent) : QTreeView(parent)
{
    setItemDelegate(new RowColorDelegate(this));
}

void ProxyView::setModel(QAbstractItemModel *model)
{
    disconnect(m_aboutToChange);
    disconnect(m_changed);
    m_topRows.clear();
    QTreeView::setModel(model);
    if (!model)
        return;
    // Connected after the view's own handlers, so the rows are laid out again before the top row is restored.
    m_aboutToChange = connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this,
                              [this](const QList<QPersistentModelIndex> &, QAbstractItemModel::LayoutChangeHint hint) {
                                  rememberTopRows(hint);
                              });
    m_changed = connect(model, &QAbstractItemModel::layoutChanged, this, [this] { restoreTopRow(); });
}

void ProxyView::rememberTopRows(QAbstractItemModel::LayoutChangeHint hint)
{
    m_topRows.clear();
    if (hint == QAbstractItemModel::VerticalSortHint)
        return;
    // Every row on screen, so that when the top one goes, the next one that stays takes its place.
    const int bottom = viewport()->height();
    for (QModelIndex row = indexAt(QPoint(0, 0)); row.isValid() && visualRect(row).top() < bottom;
         row = indexBelow(row))
        m_topRows.append(row);
}

void ProxyView::restoreTopRow()
{
    const QList<QPersistentModelIndex> rows = std::exchange(m_topRows, {});
    for (const QPersistentModelIndex &row : rows) {
        if (row.isValid()) {
            scrollTo(row, PositionAtTop);
            return;
        }
    }
}

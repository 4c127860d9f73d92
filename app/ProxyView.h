#pragma once

#include <QList>
#include <QPersistentModelIndex>
#include <QTreeView>

// The proxy table on screen. When rows are removed from under it (a filter, duplicates dropped by a merge), it
// keeps the first visible row that stays at the top instead of keeping a row number that now shows other rows.
// A sort moves rows without this: the view then stays where it was.
class ProxyView : public QTreeView
{
    Q_OBJECT

public:
    // Rows are painted in the colours the model gives them.
    explicit ProxyView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

private:
    void rememberTopRows(QAbstractItemModel::LayoutChangeHint hint);
    void restoreTopRow();

    // The rows on screen before the change, top first.
    QList<QPersistentModelIndex> m_topRows;
    QMetaObject::Connection m_aboutToChange;
    QMetaObject::Connection m_changed;
};

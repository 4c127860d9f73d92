#pragma once

#include <QAbstractItemView>
#include <QList>
#include <QPersistentModelIndex>

class QHeaderView;

// The proxy table on screen: a flat table of rows of one height under a header of columns. It lays nothing out per
// row, so that a list of tens of millions of rows goes in without the window waiting: its scroll bar counts rows,
// and a row's place is its number times the row height.
//
// When rows are removed from under it (a filter, duplicates dropped by a merge), it keeps the first visible row that
// stays at the top instead of keeping a row number that now shows other rows. A sort moves rows without this: the
// view then stays where it was.
class ProxyView : public QAbstractItemView
{
    Q_OBJECT

public:
    // Rows are painted in the colours the model gives them.
    explicit ProxyView(QWidget *parent = nullptr);

    QHeaderView *header() const { return m_header; }
    void setModel(QAbstractItemModel *model) override;

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    void doItemsLayout() override;
    void reset() override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    int rowCount() const;
    int rowHeight() const;
    int topRow() const;
    // The number of the row at the viewport's height y, were there rows above the first and below the last.
    int rowNumberAt(int y) const;
    // The row at the viewport's height y, or -1 where there is none.
    int rowAt(int y) const;
    // Rows wholly inside the viewport, at least one.
    int rowsInView() const;
    // The row's band across every column, in viewport coordinates.
    QRect rowRect(int row) const;
    void paintRow(QPainter &painter, const QStyleOptionViewItem &option, int row);
    void rememberTopRows(QAbstractItemModel::LayoutChangeHint hint);
    void restoreTopRow();

    QHeaderView *m_header;
    // Measured from the first row when first needed after a layout; 0 until then.
    mutable int m_rowHeight = 0;
    bool m_layingOut = false;
    // The rows on screen before the change, top first.
    QList<QPersistentModelIndex> m_topRows;
    QList<QMetaObject::Connection> m_modelConnections;
};

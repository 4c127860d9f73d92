#include "app/ProxyView.h"

#include "app/RowColorDelegate.h"

#include <QEvent>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <utility>

ProxyView::ProxyView(QWidget *parent) : QAbstractItemView(parent), m_header(new QHeaderView(Qt::Horizontal, this))
{
    setItemDelegate(new RowColorDelegate(this));
    setSelectionBehavior(SelectRows);
    setHorizontalScrollMode(ScrollPerPixel);
    m_header->setSectionsClickable(true);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateGeometries();
        viewport()->update();
    });
    connect(m_header, &QHeaderView::sectionMoved, viewport(), qOverload<>(&QWidget::update));
    connect(m_header, &QHeaderView::geometriesChanged, this, &ProxyView::updateGeometries);
}

void ProxyView::setModel(QAbstractItemModel *model)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_modelConnections))
        disconnect(connection);
    m_modelConnections.clear();
    m_topRows.clear();
    QAbstractItemView::setModel(model);
    m_header->setModel(model);
    if (!model)
        return;
    m_modelConnections = {
        connect(model, &QAbstractItemModel::rowsRemoved, this, &ProxyView::scheduleDelayedItemsLayout),
        // Connected after the view's own handlers, so the rows are laid out again before the top row is restored.
        connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this,
                [this](const QList<QPersistentModelIndex> &, QAbstractItemModel::LayoutChangeHint hint) {
                    rememberTopRows(hint);
                }),
        connect(model, &QAbstractItemModel::layoutChanged, this, [this] { restoreTopRow(); }),
    };
}

int ProxyView::rowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

// Every row is as high as the first: measured once, not per row.
int ProxyView::rowHeight() const
{
    if (m_rowHeight > 0)
        return m_rowHeight;
    if (rowCount() == 0)
        return fontMetrics().height();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    int height = 1;
    for (int column = 0; column < m_header->count(); ++column) {
        const QModelIndex index = model()->index(0, column, rootIndex());
        if (!m_header->isSectionHidden(column))
            height = std::max(height, itemDelegateForIndex(index)->sizeHint(option, index).height());
    }
    m_rowHeight = height;
    return height;
}

int ProxyView::topRow() const
{
    return verticalScrollBar()->value();
}

int ProxyView::rowNumberAt(int y) const
{
    const int height = rowHeight();
    // Rounded down, above the viewport too.
    return topRow() + (y >= 0 ? y / height : -((height - 1 - y) / height));
}

int ProxyView::rowAt(int y) const
{
    const int row = rowNumberAt(y);
    return row >= 0 && row < rowCount() ? row : -1;
}

int ProxyView::rowsInView() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

QRect ProxyView::rowRect(int row) const
{
    return {0, (row - topRow()) * rowHeight(), viewport()->width(), rowHeight()};
}

QRect ProxyView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.parent() != rootIndex() || isIndexHidden(index))
        return {};
    const int column = index.column();
    return {m_header->sectionViewportPosition(column), (index.row() - topRow()) * rowHeight(),
            m_header->sectionSize(column), rowHeight()};
}

void ProxyView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    // The scroll bar's range follows the rows only once the view is laid out.
    executeDelayedItemsLayout();
    const int row = index.row();
    const int shown = rowsInView();
    int top = topRow();
    switch (hint) {
    case EnsureVisible:
        if (row < top)
            top = row;
        else if (row >= top + shown)
            top = row - shown + 1;
        break;
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = row - shown + 1;
        break;
    case PositionAtCenter:
        top = row - shown / 2;
        break;
    }
    verticalScrollBar()->setValue(top);

    const int column = index.column();
    const int left = m_header->sectionPosition(column);
    const int width = m_header->sectionSize(column);
    const int offset = horizontalOffset();
    if (left < offset || width > viewport()->width())
        horizontalScrollBar()->setValue(left);
    else if (left + width > offset + viewport()->width())
        horizontalScrollBar()->setValue(left + width - viewport()->width());
}

QModelIndex ProxyView::indexAt(const QPoint &point) const
{
    const int row = rowAt(point.y());
    const int column = m_header->logicalIndexAt(point.x());
    if (row < 0 || column < 0)
        return {};
    return model()->index(row, column, rootIndex());
}

void ProxyView::doItemsLayout()
{
    m_rowHeight = 0;
    QAbstractItemView::doItemsLayout();
}

void ProxyView::reset()
{
    QAbstractItemView::reset();
    scheduleDelayedItemsLayout();
}

void ProxyView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    scheduleDelayedItemsLayout();
}

QModelIndex ProxyView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = rowCount();
    if (rows == 0)
        return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return model()->index(0, std::max(m_header->logicalIndexAt(0), 0), rootIndex());
    int row = current.row();
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= rowsInView();
        break;
    case MovePageDown:
        row += rowsInView();
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
    case MoveRight:
        // Whole rows are selected: left and right move the columns into view.
        horizontalScrollBar()->triggerAction(cursorAction == MoveLeft ? QScrollBar::SliderSingleStepSub
                                                                      : QScrollBar::SliderSingleStepAdd);
        return current;
    }
    return model()->index(std::clamp(row, 0, rows - 1), current.column(), rootIndex());
}

int ProxyView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int ProxyView::verticalOffset() const
{
    return topRow() * rowHeight();
}

bool ProxyView::isIndexHidden(const QModelIndex &index) const
{
    return m_header->isSectionHidden(index.column());
}

void ProxyView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    if (!selectionModel() || !model() || rect.isNull())
        return;
    const QRect area = rect.normalized();
    const int rows = rowCount();
    // The rows the rectangle crosses, from where a drag started, which may have scrolled out of view since; a drag
    // past the last row stops there.
    const int first = std::max(rowNumberAt(area.top()), 0);
    const int last = std::min(rowNumberAt(area.bottom()), rows - 1);
    if (first > last || first >= rows) {
        if (command & QItemSelectionModel::Clear)
            selectionModel()->clear();
        return;
    }
    const int columns = model()->columnCount(rootIndex());
    selectionModel()->select(
        QItemSelection(model()->index(first, 0, rootIndex()), model()->index(last, columns - 1, rootIndex())), command);
}

QRegion ProxyView::visualRegionForSelection(const QItemSelection &selection) const
{
    const int top = topRow();
    const int bottom = top + rowsInView();
    QRegion region;
    for (const QItemSelectionRange &range : selection) {
        const int first = std::max(range.top(), top);
        const int last = std::min(range.bottom(), bottom);
        if (first <= last)
            region += rowRect(first).united(rowRect(last));
    }
    return region;
}

void ProxyView::updateGeometries()
{
    // Setting the margins resizes the viewport, which lays the view out again.
    if (m_layingOut)
        return;
    m_layingOut = true;
    const int headerHeight = m_header->isHidden() ? 0 : m_header->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);

    const int shown = rowsInView();
    verticalScrollBar()->setRange(0, std::max(0, rowCount() - shown));
    verticalScrollBar()->setPageStep(shown);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, m_header->length() - area.width()));
    horizontalScrollBar()->setPageStep(area.width());
    horizontalScrollBar()->setSingleStep(std::max(2, m_header->defaultSectionSize() / 4));
    m_header->setOffset(horizontalOffset());
    QAbstractItemView::updateGeometries();
    m_layingOut = false;
}

void ProxyView::scrollContentsBy(int dx, int)
{
    if (dx != 0)
        m_header->setOffset(horizontalOffset());
    viewport()->update();
}

void ProxyView::paintEvent(QPaintEvent *event)
{
    const int rows = rowCount();
    if (rows == 0)
        return;
    QPainter painter(viewport());
    const int height = rowHeight();
    const QRect area = event->rect();
    const int first = topRow() + std::max(area.top(), 0) / height;
    const int last = std::min(rows - 1, topRow() + std::max(area.bottom(), 0) / height);
    // The rows on screen that are selected, in one pass over the selection: asked row by row, the selection model
    // would go through every range it holds for each.
    std::vector<bool> selected(size_t(std::max(last - first + 1, 0)));
    if (selectionModel()) {
        for (const QItemSelectionRange &range : selectionModel()->selection()) {
            for (int row = std::max(range.top(), first); row <= std::min(range.bottom(), last); ++row)
                selected[size_t(row - first)] = true;
        }
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    for (int row = first; row <= last; ++row) {
        QStyleOptionViewItem rowOption = option;
        if (selected[size_t(row - first)])
            rowOption.state |= QStyle::State_Selected;
        paintRow(painter, rowOption, row);
    }
}

void ProxyView::paintRow(QPainter &painter, const QStyleOptionViewItem &option, int row)
{
    const int top = (row - topRow()) * rowHeight();
    int firstShown = -1;
    int lastShown = -1;
    for (int visual = 0; visual < m_header->count(); ++visual) {
        if (!m_header->isSectionHidden(m_header->logicalIndex(visual))) {
            firstShown = firstShown < 0 ? visual : firstShown;
            lastShown = visual;
        }
    }
    for (int visual = firstShown; visual >= 0 && visual <= lastShown; ++visual) {
        const int column = m_header->logicalIndex(visual);
        const int left = m_header->sectionViewportPosition(column);
        const int width = m_header->sectionSize(column);
        if (m_header->isSectionHidden(column) || left + width <= 0 || left >= viewport()->width())
            continue;
        QStyleOptionViewItem cell = option;
        cell.rect = QRect(left, top, width, rowHeight());
        // Styles that draw a selected row as one band need to know where each cell sits in it.
        cell.viewItemPosition = firstShown == lastShown ? QStyleOptionViewItem::OnlyOne
                                : visual == firstShown  ? QStyleOptionViewItem::Beginning
                                : visual == lastShown   ? QStyleOptionViewItem::End
                                                        : QStyleOptionViewItem::Middle;
        const QModelIndex index = model()->index(row, column, rootIndex());
        itemDelegateForIndex(index)->paint(&painter, cell, index);
    }
    if (hasFocus() && currentIndex().row() == row) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.state |= QStyle::State_HasFocus;
        focus.rect = QRect(-horizontalOffset(), top, m_header->length(), rowHeight());
        focus.backgroundColor =
            palette().color(option.state & QStyle::State_Selected ? QPalette::Highlight : QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void ProxyView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QAbstractItemView::currentChanged(current, previous);
    // The focus frame spans the whole row.
    if (previous.isValid())
        viewport()->update(rowRect(previous.row()));
    if (current.isValid())
        viewport()->update(rowRect(current.row()));
}

void ProxyView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        scheduleDelayedItemsLayout();
    QAbstractItemView::changeEvent(event);
}

void ProxyView::rememberTopRows(QAbstractItemModel::LayoutChangeHint hint)
{
    m_topRows.clear();
    if (hint == QAbstractItemModel::VerticalSortHint)
        return;
    // Every row on screen, so that when the top one goes, the next one that stays takes its place.
    const int last = std::min(rowCount(), topRow() + rowsInView() + 1);
    for (int row = topRow(); row < last; ++row)
        m_topRows.append(model()->index(row, 0, rootIndex()));
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

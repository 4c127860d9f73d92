#include "app/ProxyTableModel.h"

#include "app/ColumnViews.h"

namespace {
using Column = ProxyList::Column;
} // namespace

ProxyTableModel::ProxyTableModel(ProxyList &list, QObject *parent)
    : QAbstractTableModel(parent), m_list(list), m_selection(new QItemSelectionModel(this, this))
{
    connect(&list, &ProxyList::resultsChanged, this, [this](int first, int last) {
        Q_EMIT dataChanged(index(first, 0), index(last, ProxyList::ColumnCount - 1));
    });
    connect(&list, &ProxyList::rowsAboutToBeAppended, this,
            [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(&list, &ProxyList::rowsAppended, this, &ProxyTableModel::endInsertRows);
    connect(&list, &ProxyList::aboutToBeReplaced, this, &ProxyTableModel::beginResetModel);
    connect(&list, &ProxyList::replaced, this, &ProxyTableModel::endResetModel);
    // The selection travels as one flag per row: left in the selection model through a layout change, it would
    // become one persistent index per selected cell. Cleared first, so the model has nothing of it to save.
    connect(&list, &ProxyList::aboutToBeRearranged, this, [this] {
        m_selectedBefore = takeSelection();
        Q_EMIT layoutAboutToBeChanged();
    });
    connect(&list, &ProxyList::rearranged, this, &ProxyTableModel::rearrangeRows);
}

QVariant ProxyTableModel::rowColor(int row) const
{
    // Untouched rows take the view's own colour.
    if (!m_list.touched(row))
        return {};
    return ResultText::color(m_list.result(row));
}

int ProxyTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_list.count();
}

int ProxyTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ProxyList::ColumnCount;
}

QVariant ProxyTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return ColumnText::cell(m_list, index.row(), Column(index.column()));
    case RowColorRole:
        return Column(index.column()) == Column::Site ? siteColor(index.row()) : rowColor(index.row());
    case Qt::ToolTipRole:
        return tipOf(index.row(), Column(index.column()));
    default:
        return {};
    }
}

QVariant ProxyTableModel::exitTip(int row) const
{
    // Only a row working now: its last verdict's address goes with the verdict.
    const QString exit = m_list.exitAddress(row);
    if (exit.isEmpty() || m_list.result(row).status != ProxyStatus::Working)
        return {};
    const QString grade = ResultText::grade(m_list.result(row));
    return grade.isEmpty() ? tr("Seen as %1").arg(exit) : tr("Seen as %1 (%2)").arg(exit, grade);
}

QVariant ProxyTableModel::siteColor(int row) const
{
    const std::optional<SiteVerdict> site = m_list.site(row);
    return site ? QVariant(ResultText::siteColor(*site)) : rowColor(row);
}

QVariant ProxyTableModel::siteTip(int row) const
{
    const std::optional<SiteVerdict> site = m_list.site(row);
    return site ? QVariant(ResultText::siteTip(*site)) : QVariant();
}

QVariant ProxyTableModel::countryTip(int row) const
{
    const std::optional<GeoInfo> found = m_list.location(row);
    if (!found)
        return {};
    QStringList lines;
    if (!found->countryName.isEmpty())
        lines.append(found->countryName);
    if (found->asn != 0)
        lines.append(found->asName.isEmpty() ? tr("AS%1").arg(found->asn)
                                             : tr("AS%1 %2").arg(QString::number(found->asn), found->asName));
    for (int bit = 0; bit < GeoFlagCount; ++bit) {
        if (found->flags.testFlag(GeoFlag(1 << bit)))
            lines.append(QCoreApplication::translate("GeoInfo", GeoInfo::words(GeoFlag(1 << bit))));
    }
    return lines.isEmpty() ? QVariant() : QVariant(lines.join(QLatin1Char('\n')));
}

QVariant ProxyTableModel::tipOf(int row, ListColumn column) const
{
    if (column == Column::Site)
        return siteTip(row);
    if (column == Column::Country)
        return countryTip(row);
    return exitTip(row);
}

QVariant ProxyTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ProxyList::ColumnCount)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    return ColumnText::header(Column(section));
}

Qt::ItemFlags ProxyTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ProxyTableModel::sort(int column, Qt::SortOrder order)
{
    if (column >= 0 && column < ProxyList::ColumnCount)
        m_list.sort(Column(column), order, ColumnText::wordRanks(Column(column)));
}

void ProxyTableModel::rearrangeRows(const std::vector<int> &newPosition)
{
    std::vector<bool> selected(size_t(m_list.count()));
    for (size_t i = 0; i < newPosition.size(); ++i) {
        if (newPosition[i] >= 0)
            selected[size_t(newPosition[i])] = m_selectedBefore[i];
    }
    m_selectedBefore = {};
    movePersistentIndexes(newPosition);
    Q_EMIT layoutChanged();
    selectRowRuns(selected);
}

// Moves every persistent index to its row's new place; those of rows that are gone become invalid.
void ProxyTableModel::movePersistentIndexes(const std::vector<int> &newPosition)
{
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before) {
        const int row = newPosition[size_t(index.row())];
        after.append(row < 0 ? QModelIndex() : this->index(row, index.column()));
    }
    changePersistentIndexList(before, after);
}

// Selects each run of consecutive flagged rows as one range of whole rows, all in one selection change.
void ProxyTableModel::selectRowRuns(const std::vector<bool> &rows)
{
    QItemSelection selection;
    const int last = ProxyList::ColumnCount - 1;
    for (size_t top = 0; top < rows.size(); ++top) {
        if (!rows[top])
            continue;
        size_t bottom = top;
        while (bottom + 1 < rows.size() && rows[bottom + 1])
            ++bottom;
        selection.append(QItemSelectionRange(index(int(top), 0), index(int(bottom), last)));
        top = bottom;
    }
    if (!selection.isEmpty())
        m_selection->select(selection, QItemSelectionModel::Select);
}

bool ProxyTableModel::isSelected(int row) const
{
    return m_list.isValidRow(row) && m_selection->rowIntersectsSelection(row, {});
}

std::vector<bool> ProxyTableModel::selectedRows() const
{
    std::vector<bool> selected(size_t(m_list.count()), false);
    markRows(m_selection->selection(), selected);
    return selected;
}

void ProxyTableModel::markRows(const QItemSelection &selection, std::vector<bool> &rows)
{
    for (const QItemSelectionRange &range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows[size_t(r)] = true;
    }
}

// Clears the selection and returns it as selectedRows() would. The rows are read from the change that the
// clearing announces, which holds the whole former selection: a large selection is then gathered once, not twice.
std::vector<bool> ProxyTableModel::takeSelection()
{
    std::vector<bool> selected(size_t(m_list.count()), false);
    const QMetaObject::Connection reader = connect(
        m_selection, &QItemSelectionModel::selectionChanged, this,
        [&selected](const QItemSelection &, const QItemSelection &deselected) { markRows(deselected, selected); });
    m_selection->clearSelection();
    disconnect(reader);
    return selected;
}

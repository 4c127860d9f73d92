#include "ProxyTableModel.h"

#include <QBrush>

#include <algorithm>
#include <numeric>

namespace {
const QString &cellText(const ProxyRow &row, int column)
{
    switch (column) {
    case ProxyTableModel::AnonymityColumn:
        return row.anonymity;
    case ProxyTableModel::SpeedColumn:
        return row.speed;
    case ProxyTableModel::StatusColumn:
        return row.status;
    default:
        return row.text;
    }
}

QString *mutableCell(ProxyRow &row, int column)
{
    switch (column) {
    case ProxyTableModel::AnonymityColumn:
        return &row.anonymity;
    case ProxyTableModel::SpeedColumn:
        return &row.speed;
    case ProxyTableModel::StatusColumn:
        return &row.status;
    default:
        return nullptr;
    }
}
} // namespace

ProxyTableModel::ProxyTableModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_selection(new QItemSelectionModel(this, this))
{
}

int ProxyTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int ProxyTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ProxyTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ProxyRow &row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return cellText(row, index.column());
    case Qt::ForegroundRole:
        if (row.color == ProxyColor::Default)
            return {};
        return QBrush(ProxyColor::toQColor(row.color));
    default:
        return {};
    }
}

QVariant ProxyTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ProxyColumn:
        return tr("Proxy");
    case AnonymityColumn:
        return tr("Anonymity");
    case SpeedColumn:
        return tr("Speed");
    case StatusColumn:
        return tr("Status");
    default:
        return {};
    }
}

Qt::ItemFlags ProxyTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ProxyTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

    // Sort a permutation rather than the rows themselves: moving 4-byte indexes is far cheaper than rows.
    std::vector<int> order_(m_rows.size());
    std::iota(order_.begin(), order_.end(), 0);
    auto key = [this, column](int r) -> const QString & { return cellText(m_rows[size_t(r)], column); };
    if (order == Qt::AscendingOrder)
        std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return key(a) < key(b); });
    else
        std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return key(b) < key(a); });

    std::vector<ProxyRow> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newPosition(m_rows.size());
    for (size_t i = 0; i < order_.size(); ++i) {
        sorted.push_back(std::move(m_rows[size_t(order_[i])]));
        newPosition[size_t(order_[i])] = int(i);
    }
    m_rows = std::move(sorted);

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(this->index(newPosition[size_t(index.row())], index.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ProxyTableModel::add(const QString &text)
{
    addRows(QStringList{text});
}

void ProxyTableModel::addRows(QStringList texts)
{
    if (texts.isEmpty())
        return;
    const int first = count();
    beginInsertRows({}, first, first + int(texts.size()) - 1);
    m_rows.reserve(m_rows.size() + size_t(texts.size()));
    for (QString &text : texts)
        m_rows.push_back(ProxyRow{std::move(text), {}, {}, {}, ProxyColor::Default});
    endInsertRows();
}

void ProxyTableModel::clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

void ProxyTableModel::remove(int row)
{
    if (!isValidRow(row))
        return;
    beginRemoveRows({}, row - 1, row - 1);
    m_rows.erase(m_rows.begin() + (row - 1));
    endRemoveRows();
}

void ProxyTableModel::keepRows(const std::vector<bool> &keep)
{
    Q_ASSERT(keep.size() == m_rows.size());
    if (std::all_of(keep.begin(), keep.end(), [](bool k) { return k; }))
        return;
    // One reset rather than one notification per removed row: removal row by row is quadratic.
    beginResetModel();
    size_t kept = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (i < keep.size() && keep[i]) {
            if (kept != i)
                m_rows[kept] = std::move(m_rows[i]);
            ++kept;
        }
    }
    m_rows.resize(kept);
    endResetModel();
}

const QString &ProxyTableModel::subItem(int row, int n) const
{
    static const QString none;
    const QString &text = cellText(m_rows[size_t(row - 1)], n);
    return (n >= Anonymity && n <= Status) ? text : none;
}

void ProxyTableModel::setSubItem(int row, int n, const QString &text)
{
    if (!isValidRow(row))
        return;
    QString *cell = mutableCell(m_rows[size_t(row - 1)], n);
    if (!cell || *cell == text)
        return;
    *cell = text;
    emitRowChanged(row, n, n);
}

bool ProxyTableModel::SetProxyColor(int row, int color)
{
    if (!isValidRow(row))
        return false;
    m_rows[size_t(row - 1)].color = color;
    emitRowChanged(row, ProxyColumn, StatusColumn);
    return true;
}

bool ProxyTableModel::isSelected(int row) const
{
    return isValidRow(row) && m_selection->rowIntersectsSelection(row - 1, {});
}

std::vector<bool> ProxyTableModel::selectedRows() const
{
    std::vector<bool> selected(m_rows.size(), false);
    for (const QItemSelectionRange &range : m_selection->selection()) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            selected[size_t(r)] = true;
    }
    return selected;
}

void ProxyTableModel::emitRowChanged(int row, int firstColumn, int lastColumn)
{
    Q_EMIT dataChanged(index(row - 1, firstColumn), index(row - 1, lastColumn));
}

#include "proxylist/ProxyTableModel.h"

#include <algorithm>
#include <array>
#include <climits>
#include <numeric>

namespace {
constexpr int Statuses = int(ProxyStatus::Timeout) + 1;
constexpr int Anonymities = int(Anonymity::NotAnonymous) + 1;
// Every result a row can hold, as a number: what a sort by a result column compares.
constexpr int ResultKinds = Statuses * Anonymities;

int kindOf(const ProxyResult &result)
{
    return int(result.status) * Anonymities + int(result.anonymity);
}

ProxyResult resultOfKind(int kind)
{
    return {ProxyStatus(kind / Anonymities), Anonymity(kind % Anonymities), {}};
}

// Text colours, as RGB: untouched rows take the view's own.
constexpr quint32 Black = 0x000000;
constexpr quint32 Green = 0x00ff00;
constexpr quint32 Red = 0xff0000;
} // namespace

ProxyTableModel::ProxyTableModel(QObject *parent)
    : QAbstractTableModel(parent), m_selection(new QItemSelectionModel(this, this))
{}

QString ProxyTableModel::statusText(const ProxyResult &result)
{
    switch (result.status) {
    case ProxyStatus::Untested:
        break;
    case ProxyStatus::Checking:
        return tr("Checking...");
    case ProxyStatus::Working:
        return tr("Working");
    case ProxyStatus::InvalidResponse:
        return tr("Invalid Response");
    case ProxyStatus::Error:
        return tr("Error");
    case ProxyStatus::Timeout:
        return tr("Timeout");
    }
    return {};
}

QString ProxyTableModel::anonymityText(const ProxyResult &result)
{
    if (!result.isVerdict())
        return {};
    if (result.status != ProxyStatus::Working)
        return QStringLiteral("-");
    return result.anonymity == Anonymity::Anonymous ? QStringLiteral("Y") : QStringLiteral("N");
}

QString ProxyTableModel::speedText(const ProxyResult &result)
{
    if (result.ms)
        return tr("%1 ms").arg(*result.ms);
    return result.isVerdict() ? QStringLiteral("-") : QString();
}

QString ProxyTableModel::cellText(const StoredRow &row, int column) const
{
    switch (column) {
    case AnonymityColumn:
        return anonymityText(row.result);
    case SpeedColumn:
        return speedText(row.result);
    case StatusColumn:
        return statusText(row.result);
    default:
        return row.text;
    }
}

// A cell's text as the view shows it. Laying out a line of many megabytes takes the view seconds per repaint,
// and no window is that wide: past MaxShownLength characters the rest is left off and marked.
QString ProxyTableModel::shownText(const QString &text)
{
    if (text.size() <= MaxShownLength)
        return text;
    qsizetype length = MaxShownLength;
    if (text[length - 1].isHighSurrogate() && text[length].isLowSurrogate())
        --length; // never half a character
    return QStringView(text).first(length) % QChar(0x2026);
}

QVariant ProxyTableModel::rowColor(const StoredRow &row)
{
    if (!row.touched)
        return {};
    switch (row.result.status) {
    case ProxyStatus::Working:
        return Green;
    case ProxyStatus::InvalidResponse:
    case ProxyStatus::Error:
    case ProxyStatus::Timeout:
        return Red;
    default:
        return Black;
    }
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
    const StoredRow &row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return shownText(cellText(row, index.column()));
    case SortRole:
        if (index.column() == SpeedColumn)
            return row.result.ms ? QVariant(*row.result.ms) : QVariant();
        return cellText(row, index.column());
    case RowColorRole:
        return rowColor(row);
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

    // Sort a permutation rather than the rows themselves: moving 4-byte numbers is far cheaper than rows.
    std::vector<int> byKey(m_rows.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    const auto sortBy = [&](auto less) {
        if (order == Qt::AscendingOrder)
            std::stable_sort(byKey.begin(), byKey.end(), less);
        else
            std::stable_sort(byKey.begin(), byKey.end(), [&](int a, int b) { return less(b, a); });
    };
    if (column == ProxyColumn) {
        sortBy([this](int a, int b) { return m_rows[size_t(a)].text < m_rows[size_t(b)].text; });
    } else if (column == SpeedColumn) {
        // By the time, as a number; rows without one come after every timed row, and before them downwards.
        const auto key = [this](int r) { return m_rows[size_t(r)].result.ms.value_or(INT_MAX); };
        sortBy([&](int a, int b) { return key(a) < key(b); });
    } else {
        // A result column shows one of a few texts: each result's place among them, found once, is its key, and
        // results that read the same share a place.
        std::array<int, ResultKinds> byText{};
        std::iota(byText.begin(), byText.end(), 0);
        std::array<QString, ResultKinds> texts;
        for (int kind = 0; kind < ResultKinds; ++kind)
            texts[size_t(kind)] = cellText(StoredRow{{}, resultOfKind(kind), true}, column);
        std::sort(byText.begin(), byText.end(), [&](int a, int b) { return texts[size_t(a)] < texts[size_t(b)]; });
        std::array<int, ResultKinds> rank{};
        for (size_t place = 0, shared = 0; place < byText.size(); ++place) {
            if (texts[size_t(byText[place])] != texts[size_t(byText[shared])])
                shared = place;
            rank[size_t(byText[place])] = int(shared);
        }
        const auto key = [&](int r) { return rank[size_t(kindOf(m_rows[size_t(r)].result))]; };
        sortBy([&](int a, int b) { return key(a) < key(b); });
    }

    std::vector<StoredRow> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newPosition(m_rows.size());
    for (size_t i = 0; i < byKey.size(); ++i) {
        sorted.push_back(std::move(m_rows[size_t(byKey[i])]));
        newPosition[size_t(byKey[i])] = int(i);
    }
    m_rows = std::move(sorted);
    movePersistentIndexes(newPosition);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ProxyTableModel::addRows(QStringList texts)
{
    if (texts.isEmpty())
        return;
    const int first = count();
    beginInsertRows({}, first, first + int(texts.size()) - 1);
    m_rows.reserve(m_rows.size() + size_t(texts.size()));
    for (QString &text : texts)
        m_rows.push_back(StoredRow{std::move(text), {}, false});
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

void ProxyTableModel::keepRows(const std::vector<bool> &keep)
{
    Q_ASSERT(keep.size() == m_rows.size());
    if (keep.size() != m_rows.size() || std::all_of(keep.begin(), keep.end(), [](bool k) { return k; }))
        return;
    // The selection travels as one flag per row: left in the selection model through a layout change, it would
    // become one persistent index per selected cell. Cleared first, so the model has nothing of it to save.
    const std::vector<bool> selected = takeSelection();

    // One layout change rather than one notification per removed row: removal row by row is quadratic.
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::NoLayoutChangeHint);
    std::vector<int> newPosition(m_rows.size(), -1);
    std::vector<bool> keptSelected;
    keptSelected.reserve(m_rows.size());
    size_t kept = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!keep[i])
            continue;
        if (kept != i)
            m_rows[kept] = std::move(m_rows[i]);
        newPosition[i] = int(kept);
        keptSelected.push_back(selected[i]);
        ++kept;
    }
    m_rows.resize(kept);
    movePersistentIndexes(newPosition);
    Q_EMIT layoutChanged({}, QAbstractItemModel::NoLayoutChangeHint);

    selectRowRuns(keptSelected);
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
    const int last = ColumnCount - 1;
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

void ProxyTableModel::setResult(int row, const ProxyResult &result)
{
    if (!isValidRow(row))
        return;
    StoredRow &stored = m_rows[size_t(row)];
    stored.result = result;
    stored.touched = true;
    emitRowChanged(row, row);
}

void ProxyTableModel::resetResults(const std::vector<bool> &reset)
{
    Q_ASSERT(reset.size() == m_rows.size());
    int first = -1;
    int last = -1;
    for (size_t i = 0; i < m_rows.size() && i < reset.size(); ++i) {
        if (!reset[i])
            continue;
        m_rows[i].result = {};
        m_rows[i].touched = true;
        if (first < 0)
            first = int(i);
        last = int(i);
    }
    // One notification for the span: a notification per row costs seconds on a table of a million rows.
    if (first >= 0)
        emitRowChanged(first, last);
}

bool ProxyTableModel::isSelected(int row) const
{
    return isValidRow(row) && m_selection->rowIntersectsSelection(row, {});
}

std::vector<bool> ProxyTableModel::selectedRows() const
{
    std::vector<bool> selected(m_rows.size(), false);
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
    std::vector<bool> selected(m_rows.size(), false);
    const QMetaObject::Connection reader = connect(
        m_selection, &QItemSelectionModel::selectionChanged, this,
        [&selected](const QItemSelection &, const QItemSelection &deselected) { markRows(deselected, selected); });
    m_selection->clearSelection();
    disconnect(reader);
    return selected;
}

void ProxyTableModel::emitRowChanged(int first, int last)
{
    Q_EMIT dataChanged(index(first, ProxyColumn), index(last, StatusColumn));
}

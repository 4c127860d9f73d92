#include "proxylist/ProxyTableModel.h"

#include "proxylist/RowText.h"

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

QByteArrayView bytesOf(QLatin1StringView text)
{
    return {text.data(), text.size()};
}
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

QString ProxyTableModel::cellText(int row, int column) const
{
    const ProxyResult result = m_rows.result(row);
    switch (column) {
    case AnonymityColumn:
        return anonymityText(result);
    case SpeedColumn:
        return speedText(result);
    case StatusColumn:
        return statusText(result);
    default:
        return RowText::decode(bytesOf(m_rows.text(row)));
    }
}

// A cell's text as the view shows it. Laying out a line of many megabytes takes the view seconds per repaint,
// and no window is that wide: past MaxShownLength characters the rest is left off and marked. Only what is shown
// is decoded.
QString ProxyTableModel::shownText(QLatin1StringView text)
{
    qsizetype used = 0;
    const QString shown = RowText::decode(bytesOf(text), MaxShownLength, &used);
    return used == text.size() ? shown : shown % QChar(0x2026);
}

QVariant ProxyTableModel::rowColor(int row) const
{
    if (!m_rows.touched(row))
        return {};
    switch (m_rows.result(row).status) {
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
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == ProxyColumn ? shownText(m_rows.text(row)) : cellText(row, index.column());
    case SortRole:
        if (index.column() == SpeedColumn)
            return m_rows.result(row).ms ? QVariant(*m_rows.result(row).ms) : QVariant();
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

    // Sort keys rather than the rows themselves: a number per row, compared first, and the row it stands for.
    struct Key
    {
        quint64 value;
        int row;
    };
    std::vector<Key> keys(static_cast<size_t>(count()));
    const auto sortBy = [&keys, order](auto less) {
        if (order == Qt::AscendingOrder)
            std::stable_sort(keys.begin(), keys.end(), less);
        else
            std::stable_sort(keys.begin(), keys.end(), [&less](const Key &a, const Key &b) { return less(b, a); });
    };
    const auto byValue = [](const Key &a, const Key &b) { return a.value < b.value; };
    if (column == ProxyColumn) {
        // The first eight bytes of the text as one big-endian number tell most rows apart; the rest when not.
        for (int r = 0; r < count(); ++r) {
            const QLatin1StringView text = m_rows.text(r);
            quint64 prefix = 0;
            for (qsizetype i = 0; i < 8; ++i)
                prefix = (prefix << 8) | (i < text.size() ? uchar(text.data()[i]) : 0);
            keys[size_t(r)] = {prefix, r};
        }
        sortBy([this](const Key &a, const Key &b) {
            return a.value != b.value ? a.value < b.value : m_rows.textLess(a.row, b.row);
        });
    } else if (column == SpeedColumn) {
        // By the time, as a number; rows without one come after every timed row, and before them downwards.
        for (int r = 0; r < count(); ++r)
            keys[size_t(r)] = {quint64(m_rows.result(r).ms.value_or(INT_MAX)), r};
        sortBy(byValue);
    } else {
        // A result column shows one of a few texts: each result's place among them, found once, is its key, and
        // results that read the same share a place.
        std::array<int, ResultKinds> byText{};
        std::iota(byText.begin(), byText.end(), 0);
        std::array<QString, ResultKinds> texts;
        for (int kind = 0; kind < ResultKinds; ++kind) {
            const ProxyResult result = resultOfKind(kind);
            texts[size_t(kind)] = column == StatusColumn ? statusText(result) : anonymityText(result);
        }
        std::sort(byText.begin(), byText.end(), [&](int a, int b) { return texts[size_t(a)] < texts[size_t(b)]; });
        std::array<int, ResultKinds> rank{};
        for (size_t place = 0, shared = 0; place < byText.size(); ++place) {
            if (texts[size_t(byText[place])] != texts[size_t(byText[shared])])
                shared = place;
            rank[size_t(byText[place])] = int(shared);
        }
        for (int r = 0; r < count(); ++r)
            keys[size_t(r)] = {quint64(rank[size_t(kindOf(m_rows.result(r)))]), r};
        sortBy(byValue);
    }

    std::vector<int> byKey(keys.size());
    std::vector<int> newPosition(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        byKey[i] = keys[i].row;
        newPosition[size_t(keys[i].row)] = int(i);
    }
    keys = {};
    m_rows.reorder(byKey);
    movePersistentIndexes(newPosition);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ProxyTableModel::addRows(const QStringList &texts)
{
    ProxyRows rows;
    for (const QString &text : texts)
        rows.append(text.toLatin1());
    appendRows(std::move(rows));
}

void ProxyTableModel::appendRows(ProxyRows &&rows)
{
    if (rows.count() == 0)
        return;
    const int first = count();
    beginInsertRows({}, first, first + rows.count() - 1);
    m_rows.take(std::move(rows));
    endInsertRows();
}

void ProxyTableModel::replaceRows(ProxyRows &&rows)
{
    beginResetModel();
    m_rows.clear();
    m_rows.take(std::move(rows));
    endResetModel();
}

void ProxyTableModel::clear()
{
    if (count() == 0)
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void ProxyTableModel::keepRows(const std::vector<bool> &keep)
{
    Q_ASSERT(keep.size() == size_t(count()));
    if (keep.size() != size_t(count()) || std::all_of(keep.begin(), keep.end(), [](bool k) { return k; }))
        return;
    // The selection travels as one flag per row: left in the selection model through a layout change, it would
    // become one persistent index per selected cell. Cleared first, so the model has nothing of it to save.
    const std::vector<bool> selected = takeSelection();

    // One layout change rather than one notification per removed row: removal row by row is quadratic.
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::NoLayoutChangeHint);
    const std::vector<int> newPosition = m_rows.keep(keep);
    std::vector<bool> keptSelected(static_cast<size_t>(count()));
    for (size_t i = 0; i < newPosition.size(); ++i) {
        if (newPosition[i] >= 0)
            keptSelected[size_t(newPosition[i])] = selected[i];
    }
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
    m_rows.setResult(row, result);
    emitRowChanged(row, row);
}

void ProxyTableModel::resetResults(const std::vector<bool> &reset)
{
    Q_ASSERT(reset.size() == size_t(count()));
    int first = -1;
    int last = -1;
    for (size_t i = 0; i < size_t(count()) && i < reset.size(); ++i) {
        if (!reset[i])
            continue;
        m_rows.reset(int(i));
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
    std::vector<bool> selected(size_t(count()), false);
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
    std::vector<bool> selected(size_t(count()), false);
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

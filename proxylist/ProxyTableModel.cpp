#include "proxylist/ProxyTableModel.h"

#include <QBrush>

#include <algorithm>
#include <numeric>

ProxyTableModel::ProxyTableModel(QObject *parent)
    : QAbstractTableModel(parent), m_selection(new QItemSelectionModel(this, this))
{
    wordNumber(QString()); // word 0: the empty text of an untested row
}

const QString &ProxyTableModel::cellText(const StoredRow &row, int column) const
{
    if (column >= AnonymityColumn && column <= StatusColumn)
        return m_words[row.words[size_t(column - 1)]];
    return row.text;
}

quint32 ProxyTableModel::wordNumber(const QString &text)
{
    const auto found = m_wordNumbers.constFind(text);
    if (found != m_wordNumbers.cend())
        return *found;
    const auto number = quint32(m_words.size());
    m_words.append(text);
    m_wordNumbers.insert(text, number);
    return number;
}

// The place of each word in text order, so that sorting by a result column compares two integers.
std::vector<quint32> ProxyTableModel::wordRanks() const
{
    std::vector<quint32> byText(size_t(m_words.size()));
    std::iota(byText.begin(), byText.end(), 0U);
    std::sort(byText.begin(), byText.end(), [this](quint32 a, quint32 b) { return m_words[a] < m_words[b]; });
    std::vector<quint32> rank(byText.size());
    for (size_t i = 0; i < byText.size(); ++i)
        rank[byText[i]] = quint32(i);
    return rank;
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

ProxyRow ProxyTableModel::rowAt(int row) const
{
    const StoredRow &stored = m_rows[size_t(row - 1)];
    return ProxyRow{stored.text, m_words[stored.words[0]], m_words[stored.words[1]], m_words[stored.words[2]],
                    stored.color};
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
    auto sortBy = [&](auto less) {
        if (order == Qt::AscendingOrder)
            std::stable_sort(order_.begin(), order_.end(), less);
        else
            std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return less(b, a); });
    };
    if (column == ProxyColumn) {
        sortBy([this](int a, int b) { return m_rows[size_t(a)].text < m_rows[size_t(b)].text; });
    } else {
        const std::vector<quint32> rank = wordRanks();
        const auto cell = size_t(column - 1);
        sortBy([&](int a, int b) { return rank[m_rows[size_t(a)].words[cell]] < rank[m_rows[size_t(b)].words[cell]]; });
    }

    std::vector<StoredRow> sorted;
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
        m_rows.push_back(StoredRow{std::move(text), {}, ProxyColor::Default});
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

const QString &ProxyTableModel::subItem(int row, int n) const
{
    if (n < Anonymity || n > Status)
        return m_words[0];
    return cellText(m_rows[size_t(row - 1)], n);
}

void ProxyTableModel::setSubItem(int row, int n, const QString &text)
{
    if (!isValidRow(row) || n < Anonymity || n > Status)
        return;
    quint32 &cell = m_rows[size_t(row - 1)].words[size_t(n - 1)];
    const quint32 word = wordNumber(text);
    if (cell == word)
        return;
    cell = word;
    emitRowChanged(row, n, n);
}

void ProxyTableModel::setResults(int row, const QString &anonymity, const QString &speed, const QString &status,
                                 int color)
{
    if (!isValidRow(row))
        return;
    StoredRow &stored = m_rows[size_t(row - 1)];
    stored.words = {wordNumber(anonymity), wordNumber(speed), wordNumber(status)};
    stored.color = color;
    emitRowChanged(row, ProxyColumn, StatusColumn);
}

void ProxyTableModel::resetResults(const std::vector<bool> &reset)
{
    Q_ASSERT(reset.size() == m_rows.size());
    int first = -1;
    int last = -1;
    for (size_t i = 0; i < m_rows.size() && i < reset.size(); ++i) {
        if (!reset[i])
            continue;
        m_rows[i].words = {};
        m_rows[i].color = ProxyColor::Black;
        if (first < 0)
            first = int(i);
        last = int(i);
    }
    // One notification for the span: a notification per row costs seconds on a table of a million rows.
    if (first >= 0)
        Q_EMIT dataChanged(index(first, ProxyColumn), index(last, StatusColumn));
}

qsizetype ProxyTableModel::countRows(int n, const QString &text) const
{
    const auto found = m_wordNumbers.constFind(text);
    if (n < Anonymity || n > Status || found == m_wordNumbers.cend())
        return 0;
    const quint32 word = *found;
    const auto cell = size_t(n - 1);
    return std::count_if(m_rows.begin(), m_rows.end(), [&](const StoredRow &row) { return row.words[cell] == word; });
}

bool ProxyTableModel::setProxyColor(int row, int color)
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

void ProxyTableModel::emitRowChanged(int row, int firstColumn, int lastColumn)
{
    Q_EMIT dataChanged(index(row - 1, firstColumn), index(row - 1, lastColumn));
}

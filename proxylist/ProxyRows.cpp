#include "proxylist/ProxyRows.h"

#include <algorithm>
#include <cstring>
#include <limits>

void ProxyRows::append(QByteArrayView text)
{
    const auto at = qint64(m_bytes.size());
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    m_rows.emplace_back(at, text.size());
    m_ids.push_back(takeIds(1));
}

void ProxyRows::take(ProxyRows &&other)
{
    // Rows numbered on from this store's next id keep their ids and findings: no pass over them.
    if (m_rows.empty() && other.m_firstId >= m_nextId) {
        std::swap(m_bytes, other.m_bytes);
        std::swap(m_rows, other.m_rows);
        std::swap(m_ids, other.m_ids);
        m_findings = std::move(other.m_findings);
        m_nextId = other.m_nextId;
        other.clear();
        return;
    }
    const size_t first = m_rows.size();
    RowId nextId = takeIds(other.m_rows.size());
    if (m_rows.empty()) {
        std::swap(m_bytes, other.m_bytes);
        std::swap(m_rows, other.m_rows);
    } else {
        const auto shift = qint64(m_bytes.size());
        m_bytes.insert(m_bytes.end(), other.m_bytes.begin(), other.m_bytes.end());
        m_rows.reserve(m_rows.size() + other.m_rows.size());
        for (PackedRow row : other.m_rows) {
            row.setOffset(row.offset() + shift);
            m_rows.push_back(row);
        }
    }
    // Ids are this store's own: rows from another get new ones, and their findings come along under them.
    if (first == 0 && other.m_findings.isEmpty())
        std::swap(m_ids, other.m_ids);
    m_ids.reserve(m_rows.size());
    m_ids.resize(m_rows.size());
    for (size_t r = first; r < m_rows.size(); ++r) {
        m_ids[r] = nextId++;
        if (!other.m_findings.isEmpty())
            m_findings.copy(other.m_findings, other.m_ids[r - first], m_ids[r]);
    }
    other.clear();
}

std::optional<ProxyRows> ProxyRows::followedBy(ProxyRows &other) const
{
    if (other.m_firstId < m_nextId || !other.m_findings.isEmpty())
        return std::nullopt;
    // Each part of other goes as soon as it is copied: the joined store is as large as both.
    ProxyRows joined(m_firstId);
    joined.m_bytes.reserve(m_bytes.size() + other.m_bytes.size());
    joined.m_bytes.assign(m_bytes.begin(), m_bytes.end());
    joined.m_bytes.insert(joined.m_bytes.end(), other.m_bytes.begin(), other.m_bytes.end());
    other.m_bytes = {};
    joined.m_rows.reserve(m_rows.size() + other.m_rows.size());
    for (const PackedRow &row : m_rows)
        joined.m_rows.push_back(row.copied());
    const auto shift = qint64(m_bytes.size());
    for (PackedRow row : other.m_rows) {
        row.setOffset(row.offset() + shift);
        joined.m_rows.push_back(row);
    }
    other.m_rows = {};
    joined.m_ids.reserve(m_ids.size() + other.m_ids.size());
    joined.m_ids.assign(m_ids.begin(), m_ids.end());
    joined.m_ids.insert(joined.m_ids.end(), other.m_ids.begin(), other.m_ids.end());
    joined.m_nextId = other.m_nextId;
    other.clear();
    return joined;
}

ProxyRows ProxyRows::adopt(ProxyRows &&joined)
{
    Q_ASSERT(joined.m_rows.size() >= m_rows.size() && joined.m_firstId == m_firstId);
    ProxyRows old(m_firstId);
    std::swap(old.m_bytes, m_bytes);
    std::swap(old.m_rows, m_rows);
    std::swap(old.m_ids, m_ids);
    std::swap(m_bytes, joined.m_bytes);
    std::swap(m_rows, joined.m_rows);
    std::swap(m_ids, joined.m_ids);
    m_nextId = joined.m_nextId;
    return old;
}

void ProxyRows::forgetCountries() const
{
    for (PackedRow &row : m_rows)
        row.setCountryMark(0);
}

ProxyRows ProxyRows::emptied()
{
    ProxyRows held(m_firstId);
    std::swap(held.m_bytes, m_bytes);
    std::swap(held.m_rows, m_rows);
    std::swap(held.m_ids, m_ids);
    std::swap(held.m_findings, m_findings);
    return held;
}

void ProxyRows::clear()
{
    m_bytes = {};
    m_rows = {};
    m_ids = {};
    m_findings.clear();
}

void ProxyRows::truncate(int rows)
{
    if (size_t(rows) >= m_rows.size())
        return;
    dropFindings(size_t(rows), m_rows.size());
    m_bytes.resize(size_t(m_rows[size_t(rows)].offset()));
    m_rows.resize(size_t(rows));
    m_ids.resize(size_t(rows));
}

void ProxyRows::reserve(int rows, qsizetype bytes)
{
    m_rows.reserve(size_t(rows));
    m_ids.reserve(size_t(rows));
    m_bytes.reserve(size_t(bytes));
}

RowId ProxyRows::takeIds(size_t count)
{
    // A list of a few million rows would have to be loaded and merged over a thousand times before this happens.
    if (count > std::numeric_limits<RowId>::max() - m_nextId)
        renumber();
    const RowId first = m_nextId;
    m_nextId += RowId(count);
    return first;
}

void ProxyRows::renumber()
{
    RowFindings findings;
    RowId next = 1;
    for (RowId &id : m_ids) {
        if (!m_findings.isEmpty())
            findings.copy(m_findings, id, next);
        id = next++;
    }
    m_findings = std::move(findings);
    m_firstId = 1;
    m_nextId = next;
}

void ProxyRows::dropFindings(size_t from, size_t to)
{
    for (size_t r = from; r < to && !m_findings.isEmpty(); ++r)
        m_findings.drop(m_ids[r]);
}

std::vector<int> ProxyRows::keep(const std::vector<bool> &keep)
{
    std::vector<int> newPosition(m_rows.size(), -1);
    size_t kept = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!keep[i]) {
            dropFindings(i, i + 1);
            continue;
        }
        m_rows[kept] = m_rows[i];
        m_ids[kept] = m_ids[i];
        newPosition[i] = int(kept++);
    }
    m_rows.resize(kept);
    m_ids.resize(kept);
    compact();
    return newPosition;
}

void ProxyRows::reorder(const std::vector<int> &order)
{
    std::vector<PackedRow> reordered;
    reordered.reserve(m_rows.size());
    for (const int row : order)
        reordered.push_back(m_rows[size_t(row)]);
    m_rows = std::move(reordered);
    std::vector<RowId> ids;
    ids.reserve(m_ids.size());
    for (const int row : order)
        ids.push_back(m_ids[size_t(row)]);
    m_ids = std::move(ids);
}

bool ProxyRows::textLess(int a, int b) const
{
    const PackedRow &first = m_rows[size_t(a)];
    const PackedRow &second = m_rows[size_t(b)];
    const int order = std::memcmp(m_bytes.data() + first.offset(), m_bytes.data() + second.offset(),
                                  size_t(std::min(first.length(), second.length())));
    return order < 0 || (order == 0 && first.length() < second.length());
}

void ProxyRows::compact()
{
    qint64 live = 0;
    for (const PackedRow &row : m_rows)
        live += row.length();
    if (live >= qint64(m_bytes.size()) - live)
        return;
    std::vector<char> bytes;
    bytes.reserve(size_t(live));
    for (PackedRow &row : m_rows) {
        const qint64 from = row.offset();
        const auto at = qint64(bytes.size());
        bytes.insert(bytes.end(), m_bytes.begin() + from, m_bytes.begin() + from + row.length());
        row.setOffset(at);
    }
    m_bytes = std::move(bytes);
}

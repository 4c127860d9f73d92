#pragma once

#include "proxylist/EnumTable.h"

#include <array>
#include <cstddef>

// The columns of the list as the window shows them, left to right. Each has one entry in ColumnSorts below, for the
// list's sort, and one in the window's ColumnViews, for its header, words and width; both are checked against
// ListColumnCount when built.
enum class ListColumn { Proxy, Anonymity, Speed, Status, Site, Country };
inline constexpr int ListColumnCount = int(ListColumn::Country) + 1;

// What the list orders its rows by for a column: the row's text byte by byte, the time a working proxy took (rows
// without one after every timed row, upwards), the words the column shows of the result, ranked by the window, or
// the words of the row's site verdict or its country's code (rows without one after every other, either way).
enum class SortKey { Text, Time, ResultWords, SiteWords, Country };

struct ColumnSort
{
    ListColumn column;
    SortKey key;
};

inline constexpr std::array<ColumnSort, ListColumnCount> ColumnSorts{{
    {ListColumn::Proxy, SortKey::Text},
    {ListColumn::Anonymity, SortKey::ResultWords},
    {ListColumn::Speed, SortKey::Time},
    {ListColumn::Status, SortKey::ResultWords},
    {ListColumn::Site, SortKey::SiteWords},
    {ListColumn::Country, SortKey::Country},
}};

namespace EnumCount {
// Names the last column, so that one added after it must move ListColumnCount on.
constexpr bool isLast(ListColumn column)
{
    switch (column) {
    case ListColumn::Proxy:
    case ListColumn::Anonymity:
    case ListColumn::Speed:
    case ListColumn::Status:
    case ListColumn::Site:
        return false;
    case ListColumn::Country:
        return true;
    }
    return false;
}
} // namespace EnumCount
static_assert(EnumTable::inEnumOrder(ColumnSorts, &ColumnSort::column),
              "ColumnSorts lists each column at its own place");
static_assert(EnumCount::isLast(ListColumn(ListColumnCount - 1)), "ListColumnCount counts every column");

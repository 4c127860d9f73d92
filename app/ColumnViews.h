#pragma once

#include "app/ResultText.h"
#include "proxylist/ProxyList.h"

#include <QtGlobal>

#include <array>

// How the window shows each column of the list: its header, its width in pixels, and the words of a result its cells
// show; the Proxy column, with no words of its own, shows the row's text. The list's ColumnSorts says how each sorts.
struct ColumnView
{
    ListColumn column;
    const char *header;
    int width;
    // Whether its cells show the row's text; the others show the words below.
    bool showsRowText;
    QString (*words)(const ProxyResult &result);
};

inline constexpr std::array<ColumnView, ListColumnCount> ColumnViews{{
    {ListColumn::Proxy, QT_TRANSLATE_NOOP("ProxyTableModel", "Proxy"), 200, true, nullptr},
    {ListColumn::Anonymity, QT_TRANSLATE_NOOP("ProxyTableModel", "Anonymity"), 96, false, &ResultText::anonymity},
    {ListColumn::Speed, QT_TRANSLATE_NOOP("ProxyTableModel", "Speed"), 96, false, &ResultText::speed},
    {ListColumn::Status, QT_TRANSLATE_NOOP("ProxyTableModel", "Status"), 96, false, &ResultText::status},
}};

namespace ColumnTable {
// A column shows the row's text exactly when the list sorts it by the text.
constexpr bool textColumnsAgree()
{
    for (size_t i = 0; i < ColumnViews.size(); ++i) {
        if (ColumnViews[i].showsRowText != (ColumnSorts[i].key == SortKey::Text))
            return false;
    }
    return true;
}
} // namespace ColumnTable
static_assert(EnumTable::inEnumOrder(ColumnViews, &ColumnView::column),
              "ColumnViews lists each column at its own place");
static_assert(ColumnTable::textColumnsAgree(), "the columns that show a row's text are those sorted by it");

namespace ColumnText {
// The view shows at most this many characters (UTF-16 units, never half a character) of a cell, then "…"; the
// stored text stays whole.
inline constexpr qsizetype MaxShownLength = 1000;

QString header(ListColumn column);
// A cell as the view shows it.
QString cell(const ProxyList &list, int row, ListColumn column);
// Each status and anonymity's place among the words the column shows, for the list's sort.
ResultPairRanks wordRanks(ListColumn column);
} // namespace ColumnText

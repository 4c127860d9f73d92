#pragma once

#include "app/ResultText.h"
#include "proxylist/ProxyList.h"

#include <QtGlobal>

#include <array>

// How the window shows each column of the list: its header, its width in pixels, and where its cells' words come
// from: the row's text (the Proxy column), the row's packed result, or the whole row as the list holds it, for a
// column that shows what the list keeps beside the row. The list's ColumnSorts says how each sorts.
struct ColumnView
{
    ListColumn column;
    const char *header;
    int width;
    // Whether its cells show the row's text; the others show the words of one of the two below.
    bool showsRowText;
    QString (*words)(const ProxyResult &result);
    QString (*rowWords)(const ProxyList &list, int row);
};

namespace ColumnText {
// The Site cell: the words of the row's site verdict.
QString siteWords(const ProxyList &list, int row);
} // namespace ColumnText

inline constexpr std::array<ColumnView, ListColumnCount> ColumnViews{{
    {ListColumn::Proxy, QT_TRANSLATE_NOOP("ProxyTableModel", "Proxy"), 200, true, nullptr, nullptr},
    {ListColumn::Anonymity, QT_TRANSLATE_NOOP("ProxyTableModel", "Anonymity"), 96, false, &ResultText::anonymity,
     nullptr},
    {ListColumn::Speed, QT_TRANSLATE_NOOP("ProxyTableModel", "Speed"), 96, false, &ResultText::speed, nullptr},
    {ListColumn::Status, QT_TRANSLATE_NOOP("ProxyTableModel", "Status"), 96, false, &ResultText::status, nullptr},
    {ListColumn::Site, QT_TRANSLATE_NOOP("ProxyTableModel", "Site"), 96, false, nullptr, &ColumnText::siteWords},
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

// Each column's words come from one place, and from the whole row exactly when the list sorts the column by what it
// keeps beside the row: wordRanks ranks the words of every packed result, which says nothing of such a column.
constexpr bool wordsComeFromOnePlace()
{
    for (size_t i = 0; i < ColumnViews.size(); ++i) {
        const ColumnView &view = ColumnViews[i];
        if (int(view.showsRowText) + int(view.words != nullptr) + int(view.rowWords != nullptr) != 1 ||
            (view.rowWords != nullptr) != (ColumnSorts[i].key == SortKey::SiteWords))
            return false;
    }
    return true;
}
} // namespace ColumnTable
static_assert(EnumTable::inEnumOrder(ColumnViews, &ColumnView::column),
              "ColumnViews lists each column at its own place");
static_assert(ColumnTable::textColumnsAgree(), "the columns that show a row's text are those sorted by it");
static_assert(ColumnTable::wordsComeFromOnePlace(), "each column reads its words from one place, the one it sorts by");

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

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
    // Where its cells' words come from: the row's text, words() of the packed result, or rowWords() of the row.
    enum class Source { RowText, Result, Row };
    Source source;
    QString (*words)(const ProxyResult &result);
    QString (*rowWords)(const ProxyList &list, int row);
};

namespace ColumnText {
// The Site cell: the words of the row's site verdict.
QString siteWords(const ProxyList &list, int row);
// The Country cell: the two-letter code, "-" when the location database knows none.
QString countryWords(const ProxyList &list, int row);
} // namespace ColumnText

inline constexpr std::array<ColumnView, ListColumnCount> ColumnViews{{
    {ListColumn::Proxy, QT_TRANSLATE_NOOP("ProxyTableModel", "Proxy"), 200, ColumnView::Source::RowText, nullptr,
     nullptr},
    {ListColumn::Anonymity, QT_TRANSLATE_NOOP("ProxyTableModel", "Anonymity"), 96, ColumnView::Source::Result,
     &ResultText::anonymity, nullptr},
    {ListColumn::Speed, QT_TRANSLATE_NOOP("ProxyTableModel", "Speed"), 96, ColumnView::Source::Result,
     &ResultText::speed, nullptr},
    {ListColumn::Status, QT_TRANSLATE_NOOP("ProxyTableModel", "Status"), 96, ColumnView::Source::Result,
     &ResultText::status, nullptr},
    {ListColumn::Site, QT_TRANSLATE_NOOP("ProxyTableModel", "Site"), 96, ColumnView::Source::Row, nullptr,
     &ColumnText::siteWords},
    {ListColumn::Country, QT_TRANSLATE_NOOP("ProxyTableModel", "Country"), 64, ColumnView::Source::Row, nullptr,
     &ColumnText::countryWords},
}};

namespace ColumnTable {
// A column shows the row's text exactly when the list sorts it by the text, and reads the whole row exactly when the
// list sorts it by what it keeps beside the row: wordRanks ranks the words of every packed result, which says
// nothing of such a column. (Function pointers are no constant expressions to every compiler: the source says it.)
constexpr bool sourcesAgreeWithSorts()
{
    for (size_t i = 0; i < ColumnViews.size(); ++i) {
        const ColumnView::Source source = ColumnViews[i].source;
        if ((source == ColumnView::Source::RowText) != (ColumnSorts[i].key == SortKey::Text) ||
            (source == ColumnView::Source::Row) !=
                (ColumnSorts[i].key == SortKey::SiteWords || ColumnSorts[i].key == SortKey::Country))
            return false;
    }
    return true;
}
} // namespace ColumnTable
static_assert(EnumTable::inEnumOrder(ColumnViews, &ColumnView::column),
              "ColumnViews lists each column at its own place");
static_assert(ColumnTable::sourcesAgreeWithSorts(), "each column reads its words from what the list sorts it by");

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

#include "app/ColumnViews.h"

#include "proxylist/RowText.h"

#include <algorithm>
#include <numeric>

namespace {
// A cell's text as the view shows it. Laying out a line of many megabytes takes the view seconds per repaint, and
// no window is that wide: past MaxShownLength characters the rest is left off and marked. Only what is shown is
// decoded.
QString shownText(QLatin1StringView text)
{
    qsizetype used = 0;
    const QString shown = RowText::decode(QByteArrayView(text.data(), text.size()), ColumnText::MaxShownLength, &used);
    return used == text.size() ? shown : shown % QChar(0x2026);
}
} // namespace

QString ColumnText::header(ListColumn column)
{
    return QCoreApplication::translate("ProxyTableModel", ColumnViews[size_t(column)].header);
}

QString ColumnText::cell(const ProxyList &list, int row, ListColumn column)
{
    const ColumnView &view = ColumnViews[size_t(column)];
    switch (view.source) {
    case ColumnView::Source::RowText:
        break;
    case ColumnView::Source::Result:
        return view.words(list.result(row));
    case ColumnView::Source::Row:
        return view.rowWords(list, row);
    }
    return shownText(list.text(row));
}

QString ColumnText::siteWords(const ProxyList &list, int row)
{
    return ResultText::site(list.site(row));
}

QString ColumnText::countryWords(const ProxyList &list, int row)
{
    const QString code = list.countryCode(row);
    return code.isEmpty() ? QStringLiteral("-") : code;
}

ResultPairRanks ColumnText::wordRanks(ListColumn column)
{
    ResultPairRanks rank{};
    const ColumnView &view = ColumnViews[size_t(column)];
    if (view.source != ColumnView::Source::Result)
        return rank;
    const auto words = view.words;
    std::array<QString, ResultPairCount> texts;
    for (int pair = 0; pair < ResultPairCount; ++pair)
        texts[size_t(pair)] = words(resultOfPair(pair));
    std::array<int, ResultPairCount> byText{};
    std::iota(byText.begin(), byText.end(), 0);
    std::sort(byText.begin(), byText.end(), [&](int a, int b) { return texts[size_t(a)] < texts[size_t(b)]; });
    for (size_t place = 0, shared = 0; place < byText.size(); ++place) {
        if (texts[size_t(byText[place])] != texts[size_t(byText[shared])])
            shared = place;
        rank[size_t(byText[place])] = int(shared);
    }
    return rank;
}

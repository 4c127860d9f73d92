#pragma once

#include "proxylist/ProxyList.h"
#include "proxylist/ResultText.h"

inline constexpr int ExitColumn = ProxyList::ColumnCount;

// One column of the list, top to bottom: the rows' texts whole, the result cells as the table shows them, or (at
// ExitColumn, past the table's) the exit addresses.
inline QStringList columnTexts(const ProxyList &list, int column = 0)
{
    QStringList texts;
    for (int r = 0; r < list.count(); ++r) {
        const ProxyResult result = list.result(r);
        switch (ProxyList::Column(column)) {
        case ProxyList::Column::Proxy:
            texts.append(QString(list.text(r)));
            break;
        case ProxyList::Column::Anonymity:
            texts.append(ResultText::anonymity(result));
            break;
        case ProxyList::Column::Speed:
            texts.append(ResultText::speed(result));
            break;
        case ProxyList::Column::Status:
            texts.append(ResultText::status(result));
            break;
        default:
            texts.append(list.exitAddress(r));
        }
    }
    return texts;
}

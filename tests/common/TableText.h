#pragma once

#include "app/ColumnViews.h"
#include "proxylist/ProxyList.h"

inline constexpr int ExitColumn = ProxyList::ColumnCount;

// One column of the list, top to bottom: the rows' texts whole, the result cells as the window shows them, or (at
// ExitColumn, past the window's) the exit addresses.
inline QStringList columnTexts(const ProxyList &list, int column = 0)
{
    Q_ASSERT(column >= 0 && column <= ExitColumn);
    QStringList texts;
    for (int r = 0; r < list.count(); ++r) {
        if (column == ExitColumn)
            texts.append(list.exitAddress(r));
        else if (ProxyList::Column(column) == ProxyList::Column::Proxy)
            texts.append(QString(list.text(r)));
        else
            texts.append(ColumnText::cell(list, r, ProxyList::Column(column)));
    }
    return texts;
}

#pragma once

#include "proxylist/ProxyTableModel.h"

// One column of the table, top to bottom: the proxy texts, or a result cell (the columns follow the sub-items).
inline QStringList columnTexts(const ProxyTableModel &table, int column = ProxyTableModel::ProxyColumn)
{
    QStringList texts;
    for (int r = 1; r <= table.count(); ++r)
        texts.append(column == ProxyTableModel::ProxyColumn ? table.itemText(r) : table.subItem(r, column));
    return texts;
}

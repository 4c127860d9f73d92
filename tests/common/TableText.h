#pragma once

#include "proxylist/ProxyTableModel.h"

// One column of the table as the view shows it, top to bottom.
inline QStringList columnTexts(const ProxyTableModel &table, int column = ProxyTableModel::ProxyColumn)
{
    QStringList texts;
    for (int r = 0; r < table.count(); ++r)
        texts.append(table.index(r, column).data().toString());
    return texts;
}

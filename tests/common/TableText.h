#pragma once

#include "proxylist/ProxyTableModel.h"

// One column of the table, top to bottom: the rows' texts whole, or the result cells as the view shows them.
inline QStringList columnTexts(const ProxyTableModel &table, int column = ProxyTableModel::ProxyColumn)
{
    QStringList texts;
    for (int r = 0; r < table.count(); ++r)
        texts.append(column == ProxyTableModel::ProxyColumn ? QString(table.text(r))
                                                            : table.index(r, column).data().toString());
    return texts;
}

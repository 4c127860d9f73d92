#pragma once

#include "proxylist/ProxyColor.h"

#include <QString>

// One proxy of the table: the line exactly as loaded, the three result cells and the row colour.
struct ProxyRow
{
    QString text;
    QString anonymity;
    QString speed;
    QString status;
    int color = ProxyColor::Default;
};

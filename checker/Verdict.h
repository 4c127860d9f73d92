#pragma once

#include "proxylist/ProxyColor.h"

#include <QString>

class ProxyTableModel;

// The outcome of one probe: what the Anonymity and Status cells say and the row's colour. Speed always reads "-".
struct Verdict
{
    QString anonymity;
    QString status;
    int color = ProxyColor::Red;

    static Verdict working(bool anonymous);
    static Verdict invalidResponse();
    static Verdict error();
    static Verdict timeout();

    bool operator==(const Verdict &other) const = default;
};

// Writes Anonymity, Speed and Status and colours the whole row, as one change. A row that is gone is left alone.
void writeVerdict(ProxyTableModel &table, int row, const Verdict &verdict);

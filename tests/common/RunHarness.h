#pragma once

#include "checker/CheckRun.h"
#include "proxylist/CellText.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"
#include "tests/common/RecordingHost.h"

// A test run with everything it works on, and no window.
struct RunHarness
{
    explicit RunHarness(const Clock *clock = nullptr) : checkRun(table, panels, host, clock)
    {
        // Fake proxies answer by themselves; the echo host is never reached, but keep it on loopback all the same.
        checkRun.setProbeHost(QStringLiteral("127.0.0.1:9"));
    }

    // Anonymity, Speed and Status of a row, then its colour.
    QStringList cells(int row) const
    {
        return {table.subItem(row, ProxyTableModel::Anonymity), table.subItem(row, ProxyTableModel::Speed),
                table.subItem(row, ProxyTableModel::Status), QString::number(table.color(row))};
    }

    ProxyTableModel table;
    StatusPanels panels;
    RecordingHost host;
    CheckRun checkRun;
};

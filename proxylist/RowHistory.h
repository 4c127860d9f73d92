#pragma once

#include "proxylist/ProxyResult.h"

#include <QtGlobal>

#include <optional>

// What the history of checks says of a proxy: how it fared in its last checks, how often it was checked, and when.
// Times are milliseconds since the epoch, UTC.
struct RowHistory
{
    // Of the last checks counted for the uptime (at most as many as asked for), those that found it working.
    int counted = 0;
    int working = 0;
    qint64 checks = 0;
    qint64 firstSeen = 0;
    std::optional<qint64> lastWorking = std::nullopt;
    ProxyStatus lastStatus = ProxyStatus::Untested;

    // The share of the counted checks that found it working, in whole percent, rounded to the nearest.
    int uptimePercent() const { return counted > 0 ? (working * 200 + counted) / (counted * 2) : 0; }
    // Compared exactly: 9 of 10 is up 90, 8 of 9 is not.
    bool upAtLeast(int percent) const { return counted > 0 && working * 100 >= percent * counted; }
};

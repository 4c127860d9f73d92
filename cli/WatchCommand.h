#pragma once

#include "cli/CliOptions.h"

#include <QCoreApplication>

class ProxyList;
class QElapsedTimer;
class SignalWatch;

// korvane-cli watch: the lists read and checked again every interval, the history kept, one line per round.
class WatchCommand
{
    Q_DECLARE_TR_FUNCTIONS(WatchCommand)

public:
    explicit WatchCommand(const CliOptions &options) : m_options(options) {}

    // Runs until a signal ends it: 128 + the signal; 1 when a round's line could not be written, 2 when the
    // open-file limit cannot hold a round.
    int run();

    // The round's line: when it ended, the working and anonymous proxies, their median time and the median uptime.
    static QString summary(const ProxyList &list);

private:
    // Serves the event loop until the moment of the clock given, or a signal; false after a signal.
    static bool waitUntil(qint64 moment, const QElapsedTimer &clock, SignalWatch &signals);

    const CliOptions &m_options;
};

#pragma once

#include "cli/CliOptions.h"

#include <QCoreApplication>

class ProxyList;

// korvane-cli history: each proxy's uptime, checks, first seen and last working, for every proxy of the history or
// the rows of the lists read; or, with --forget-older-than, the older checks removed.
class HistoryCommand
{
    Q_DECLARE_TR_FUNCTIONS(HistoryCommand)

public:
    // list: the rows of the lists given; with none, every proxy of the history is printed.
    HistoryCommand(ProxyList &list, const CliOptions &options) : m_list(list), m_options(options) {}

    // Returns the exit status: 0 done, 1 when the history could not be read or changed, or the output written.
    int run();

private:
    ProxyList &m_list;
    const CliOptions &m_options;
};

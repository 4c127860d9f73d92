#pragma once

#include "checker/CheckRunHost.h"
#include "cli/CliOptions.h"

#include <QCoreApplication>

class ProxyTableModel;
class StatusPanels;

// korvane-cli check: tests every row of the loaded lists with the window's engine and prints the results.
class CheckCommand : public CheckRunHost
{
    Q_DECLARE_TR_FUNCTIONS(CheckCommand)

public:
    CheckCommand(ProxyTableModel &table, StatusPanels &panels, const CliOptions &options)
        : m_table(table), m_panels(panels), m_options(options)
    {}

    // Returns the exit status: 0 after a complete run, 1 when the results could not be written or this machine
    // ran out of sockets, 2 when the open-file limit cannot hold the run, 128 + the signal after one.
    int run();

    // Nothing to lock and no one to tell: the results are printed once the run is over.
    void setCommandsLocked(bool) override {}
    void showCompletionMessage(const QString &) override {}

private:
    // Room for the sockets the run holds at once, beside every descriptor already open; empty when there is enough.
    QString reserveDescriptors() const;

    ProxyTableModel &m_table;
    StatusPanels &m_panels;
    const CliOptions &m_options;
};

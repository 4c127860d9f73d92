#pragma once

#include "cli/CliOptions.h"

#include <QCoreApplication>

// korvane-cli judge: runs the judge until SIGTERM, SIGHUP or Ctrl+C.
class JudgeCommand
{
    Q_DECLARE_TR_FUNCTIONS(JudgeCommand)

public:
    explicit JudgeCommand(const CliOptions &options) : m_options(options) {}

    // Returns the exit status: 0 once a signal has ended it, 1 when an address could not be listened on.
    int run();

private:
    const CliOptions &m_options;
};

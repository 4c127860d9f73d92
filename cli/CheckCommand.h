#pragma once

#include "cli/CliOptions.h"

#include <QCoreApplication>

#include <functional>

class CliHistory;
class ProxyList;
class SignalWatch;

// korvane-cli check: tests every row of the loaded lists with the window's engine and prints the results.
class CheckCommand
{
    Q_DECLARE_TR_FUNCTIONS(CheckCommand)

public:
    // No echo host answered before the check, or none after a check that found no working proxy.
    static constexpr int EchoHostsSilent = 3;

    CheckCommand(ProxyList &list, const CliOptions &options) : m_list(list), m_options(options) {}

    // Returns the exit status: 0 after a complete run, 1 when the results could not be written or this machine
    // ran out of sockets, 2 when the open-file limit cannot hold a single probe, EchoHostsSilent, 128 + the signal
    // after one.
    int run();
    // One check of the list as run() makes it, keeping the history given and ended by the signals given; report
    // prints its outcome (the rows, or watch's line) once the run is over, and returns why it could not.
    int check(SignalWatch &signals, CliHistory &history, const std::function<QString()> &report);

private:
    // How many probes the open-file limit lets the run hold at once, beside every descriptor already open, and why
    // that is fewer than asked; none when not even one fits.
    struct Room
    {
        int probesAtOnce;
        QString note;
    };

    // Raises the open-file limit as far as the run needs and the hard limit allows.
    Room reserveDescriptors() const;

    ProxyList &m_list;
    const CliOptions &m_options;
};

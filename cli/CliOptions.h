#pragma once

#include "checker/CheckSettings.h"
#include "proxylist/ProxyAddress.h"
#include "proxylist/ProxyFilter.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// What a command line of korvane-cli asks for.
struct CliOptions
{
    enum Command { Clean, Check };

    Command command = Clean;
    // Read in this order; "-" is standard input, and no file at all means standard input alone.
    QStringList files;
    // -n and -t.
    CheckSettings settings{200, std::chrono::seconds(10)};
    // The rows a check prints, of those with a verdict: all, or those that "Keep working proxies" or "Keep
    // anonymous proxies" would keep.
    std::optional<ProxyFilter> only;
    // The protocol of rows without a scheme; nothing is HTTP, and clean writes them as they are.
    std::optional<ProxyAddress::Protocol> protocol;
    bool json = false;
    // The window's fixed batches rather than a pool that refills as probes end.
    bool batches = false;
    QString echoHost;
    bool quiet = false;
};

// The program ends before doing anything: help, version, or bad usage.
struct CliExit
{
    int code = 0;
    QString text;
};

// Reads the arguments of korvane-cli (the program's name first) with Qt's usual command-line rules.
std::variant<CliOptions, CliExit> parseCliArguments(const QStringList &arguments);

#pragma once

#include "checker/CheckSettings.h"
#include "checker/SiteCheck.h"
#include "proxylist/ProxyAddress.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyWriter.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>
#include <vector>

// How check prints its rows: tab-separated unless --json, or the rows' texts alone for --only without another format.
using OutputFormat = ProxyWriter::Format;
inline constexpr int OutputFormatCount = ProxyWriter::FormatCount;

// What a command line of korvane-cli asks for.
struct CliOptions
{
    enum Command { Clean, Check, Judge, History, Watch };
    // Where judge listens, as given and as read.
    struct ListenAddress
    {
        QString text;
        QHostAddress address;
        quint16 port = 0;
    };

    Command command = Clean;
    // Read in this order; "-" is standard input, and no file at all means standard input alone.
    QStringList files;
    // -n and -t.
    CheckSettings settings{CheckLimits::CliProbesAtOnce.start, std::chrono::seconds(CheckLimits::TimeoutSeconds.start)};
    // The rows a check prints, of those with a verdict: those that every filter keeps (--only, any number of
    // times), all when there is none. Clean takes only those by country or network.
    std::vector<ProxyFilter> only;
    // --geo-db: the location database; empty for Debian's.
    QString geoDatabase;
    // The protocol of rows without a scheme; nothing is HTTP, and clean writes them as they are.
    std::optional<ProxyAddress::Protocol> protocol;
    // check --protocol auto: the protocol of each row without a scheme is found, and printed as its scheme.
    bool findsProtocol = false;
    OutputFormat format = OutputFormat::TabSeparated;
    // The window's fixed batches rather than a pool that refills as probes end.
    bool batches = false;
    // check --site: the user's site, fetched through every proxy that works.
    std::optional<SiteCheck> site;
    // The echo hosts, in the order given; none is the default host.
    QStringList echoHosts;
    // Whether they are asked directly before the check.
    bool echoCheck = true;
    bool quiet = false;
    // The history of checks: where it is, whether check and watch keep it.
    QString historyPath;
    bool keepsHistory = true;
    // check --recheck failed: only the rows whose last verdict in the history was a failure.
    bool recheckFailed = false;
    // history --forget-older-than: how old a check may be, in milliseconds; nothing lists the history instead.
    std::optional<qint64> forgetOlderThan;
    // watch --every: from the start of one round to the start of the next, in milliseconds.
    qint64 everyMs = 0;
    // judge: the addresses to listen on, whether each request is logged, and the reverse proxies in front of it.
    QList<ListenAddress> listen;
    bool log = false;
    QList<QHostAddress> trustedProxies;
};

// The program ends before doing anything: help, version, or bad usage.
struct CliExit
{
    int code = 0;
    QString text;
};

// Reads the arguments of korvane-cli (the program's name first) with Qt's usual command-line rules.
std::variant<CliOptions, CliExit> parseCliArguments(const QStringList &arguments);

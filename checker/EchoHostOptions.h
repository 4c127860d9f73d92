#pragma once

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <variant>

class QCommandLineParser;

// The echo hosts a command line of korvane or korvane-cli names: --echo-host HOST, any number of times, and
// --no-echo-check. Both programs read them here, so that a host one of them takes the other takes too.
struct EchoHostOptions
{
    // --echo-host, with the help both programs give it.
    static QCommandLineOption echoHostOption();
    // The options as the parser read them, or the usage error (without the program's name) of a host that cannot be
    // one; each program reports it in its own way.
    static std::variant<EchoHostOptions, QString>
    read(const QCommandLineParser &parser, const QCommandLineOption &echoHost, const QCommandLineOption &noEchoCheck);

    // In the order given, each checked with EchoHost::parse(); none is the default host.
    QStringList hosts;
    // Whether they are asked directly before the check.
    bool echoCheck = true;
};

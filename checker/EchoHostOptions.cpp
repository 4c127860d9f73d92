#include "checker/EchoHostOptions.h"

#include "checker/EchoHost.h"

#include <QCommandLineParser>

QCommandLineOption EchoHostOptions::echoHostOption()
{
    return QCommandLineOption(
        QStringLiteral("echo-host"),
        QStringLiteral("An IP-echo host asked through the proxies (default: %1); give it several times and the hosts "
                       "that answer take the proxies in turn.")
            .arg(EchoHost::Default),
        QStringLiteral("HOST"));
}

std::variant<EchoHostOptions, QString> EchoHostOptions::read(const QCommandLineParser &parser,
                                                             const QCommandLineOption &echoHost,
                                                             const QCommandLineOption &noEchoCheck)
{
    EchoHostOptions options{parser.values(echoHost), !parser.isSet(noEchoCheck)};
    for (const QString &host : options.hosts) {
        if (!EchoHost::parse(host))
            return QStringLiteral("--echo-host takes a host name or address, with an optional :port");
    }
    return options;
}

#include "cli/JudgeCommand.h"

#include "cli/JudgeServer.h"
#include "cli/SignalWatch.h"
#include "cli/StandardStreams.h"

#include <csignal>
#include <sys/resource.h>

int JudgeCommand::run()
{
    // Room for every connection the server may hold, as far as the hard limit allows: a shell's usual soft limit
    // of 1,024 would cap it at a quarter.
    if (rlimit limit = {}; ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    // A write to a log whose reader has gone fails with EPIPE, which the server survives; the signal would end it.
    std::signal(SIGPIPE, SIG_IGN);
    SignalWatch signals;
    JudgeServer server;
    server.setLogging(m_options.log);
    server.setTrustedFronts(m_options.trustedProxies);
    for (const CliOptions::ListenAddress &at : m_options.listen) {
        if (const QString failure = server.listen(at.address, at.port); !failure.isEmpty()) {
            printError(tr("cannot listen on %1: %2").arg(at.text, failure));
            return 1;
        }
    }
    // Whatever the signal, the server ends cleanly: a service manager's TERM is how it is meant to stop.
    QObject::connect(&signals, &SignalWatch::interruptRequested, &server, [] { QCoreApplication::quit(); });
    QObject::connect(&signals, &SignalWatch::stopRequested, &server, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    return 0;
}

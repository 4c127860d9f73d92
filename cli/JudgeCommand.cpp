#include "cli/JudgeCommand.h"

#include "checker/SocketSystem.h"
#include "cli/SignalWatch.h"
#include "cli/StandardStreams.h"
#include "judge/JudgeServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {
// The judge's log on standard output, a line at a time. A reader that went away fails the write with EPIPE (SIGPIPE
// is ignored): said once on standard error, and the judge serves on without a log.
bool logToStandardOutput(QByteArrayView line)
{
    if (std::fwrite(line.data(), 1, size_t(line.size()), stdout) == size_t(line.size()) && std::fflush(stdout) == 0)
        return true;
    const int error = errno;
    printError(
        JudgeCommand::tr("the log cannot be written (%1): requests are no longer logged").arg(qt_error_string(error)));
    return false;
}
} // namespace

int JudgeCommand::run()
{
    // Room for every connection the judge may hold.
    SocketSystem::raiseOpenFileLimit();
    // A write to a log whose reader has gone fails with EPIPE, which the judge survives; the signal would end it.
    std::signal(SIGPIPE, SIG_IGN);
    SignalWatch signals;
    JudgeServer server;
    if (m_options.log)
        server.setLogSink(logToStandardOutput);
    server.setTrustedFronts(m_options.trustedProxies);
    for (const CliOptions::ListenAddress &at : m_options.listen) {
        if (const QString failure = server.listen(at.address, at.port); !failure.isEmpty()) {
            printError(tr("cannot listen on %1: %2").arg(at.text, failure));
            return 1;
        }
    }
    // Whatever the signal, the judge ends cleanly: a service manager's TERM is how it is meant to stop.
    QObject::connect(&signals, &SignalWatch::interruptRequested, &server, [] { QCoreApplication::quit(); });
    QObject::connect(&signals, &SignalWatch::stopRequested, &server, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    return 0;
}

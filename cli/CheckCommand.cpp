#include "cli/CheckCommand.h"

#include "checker/CheckRun.h"
#include "checker/SocketSystem.h"
#include "cli/CheckReport.h"
#include "cli/CliHistory.h"
#include "cli/ProgressLine.h"
#include "cli/SignalWatch.h"
#include "cli/StandardStreams.h"
#include "proxylist/ProxyList.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// Beside the sockets and what is open already: room for whatever the system libraries open on their own.
constexpr rlim_t SpareDescriptors = 8;
// The history's file, its write-ahead log and its shared index, opened once the limit is known to hold them.
constexpr rlim_t HistoryDescriptors = 3;

rlim_t openDescriptors()
{
    DIR *listing = ::opendir("/proc/self/fd");
    if (!listing)
        return 3;
    rlim_t entries = 0;
    while (const dirent *entry = ::readdir(listing))
        entries += entry->d_name[0] != '.';
    ::closedir(listing);
    // The listing held one of its own.
    return std::max<rlim_t>(entries - 1, 3);
}
} // namespace

CheckCommand::Room CheckCommand::reserveDescriptors() const
{
    const int asked = m_options.settings.probesAtOnce;
    const int atOnce = std::min(asked, m_list.count());
    if (atOnce == 0)
        return {asked, {}};
    const rlim_t held = openDescriptors() + SpareDescriptors + (m_options.keepsHistory ? HistoryDescriptors : 0);
    const rlim_t needed = held + rlim_t(atOnce);
    const std::optional<rlimit> raised = SocketSystem::raiseOpenFileLimit(needed);
    if (!raised || raised->rlim_cur == RLIM_INFINITY || raised->rlim_cur >= needed)
        return {asked, {}};
    const rlim_t limit = raised->rlim_cur;
    if (limit <= held)
        return {0, tr("a check needs at least %1 open files, and this process may open only %2: raise that limit "
                      "(see ulimit -n)")
                       .arg(qulonglong(held) + 1)
                       .arg(qulonglong(limit))};
    // The run goes on with what fits: a shortage of this machine's own fails no proxy.
    const int fits = int(limit - held);
    return {fits, tr("testing %1 proxies at once needs %2 open files, and this process may open only %3 (see ulimit "
                     "-n): testing %4 at once")
                      .arg(atOnce)
                      .arg(qulonglong(needed))
                      .arg(qulonglong(limit))
                      .arg(fits)};
}

int CheckCommand::run()
{
    SignalWatch signals;
    CliHistory history(m_options);
    if (m_options.recheckFailed) {
        if (const QString failure = history.keepFailed(m_list); !failure.isEmpty()) {
            printError(tr("--recheck failed reads the history: %1").arg(failure));
            return 1;
        }
    }
    return check(signals, history, [this, &history] {
        // Only "uptime" and --only read each row's history; the rest is committed as the history closes.
        if (m_options.format == OutputFormat::Json || !m_options.only.empty())
            history.annotate(m_list);
        return printCheckReport(m_list, m_options);
    });
}

int CheckCommand::check(SignalWatch &signals, CliHistory &history, const std::function<QString()> &report)
{
    const Room room = reserveDescriptors();
    if (!room.note.isEmpty())
        printError(room.note);
    if (room.probesAtOnce == 0)
        return 2;
    history.start();
    CheckRun checkRun(m_list);
    history.follow(checkRun, m_list);
    CheckSettings settings = m_options.settings;
    settings.probesAtOnce = room.probesAtOnce;
    checkRun.setSettings(settings);
    checkRun.setPool(!m_options.batches);
    checkRun.setEchoHosts(m_options.echoHosts);
    checkRun.setEchoCheck(m_options.echoCheck);
    checkRun.setBareProtocol(m_options.protocol.value_or(ProxyAddress::Protocol::Http));
    checkRun.setSearchingProtocols(m_options.findsProtocol);
    if (const QString failure = checkRun.setSite(m_options.site); !failure.isEmpty()) {
        printError(failure);
        return 2;
    }
    if (m_options.site && m_options.site->tls && m_options.site->insecure)
        printError(tr("--insecure: the certificate of %1 is not checked, so TLS Failed never shows a proxy that "
                      "intercepts it")
                       .arg(m_options.site->host));

    std::unique_ptr<ProgressLine> progress;
    if (!m_options.quiet && ::isatty(STDERR_FILENO)) {
        progress = std::make_unique<ProgressLine>(m_list, checkRun);
        progress->start();
    }
    // The first Ctrl+C does what Abort does: the batch under way ends, then the run.
    QObject::connect(&signals, &SignalWatch::interruptRequested, &checkRun, [&checkRun, &progress] {
        const bool probing = checkRun.isProbing();
        checkRun.abort();
        // Asking the echo hosts ends at once: there is nothing to wait for.
        if (!probing)
            return;
        const QString note = checkRun.isPool()
                                 ? tr("korvane-cli: starting no more proxies, waiting for those under way; Ctrl+C "
                                      "again stops now")
                                 : tr("korvane-cli: stopping after the batch under way; Ctrl+C again stops now");
        if (progress)
            progress->note(note);
        else
            std::fprintf(stderr, "%s\n", qPrintable(note));
    });
    QObject::connect(&signals, &SignalWatch::stopRequested, &checkRun, [&checkRun] {
        checkRun.stop();
        QCoreApplication::quit();
    });
    // The results are printed once the run is over; it says whether it stopped for want of sockets.
    RunOutcome outcome;
    QObject::connect(&checkRun, &CheckRun::finished, &checkRun, [&outcome](const RunOutcome &how) {
        outcome = how;
        QCoreApplication::quit();
    });
    // No row to test: no echo host is asked, and the check is done.
    if (m_list.count() == 0)
        outcome.probed = true;
    else
        checkRun.start(CheckRows::Mode::All);
    // A run of rows that are all judged at once is over before the event loop would start.
    if (checkRun.isRunning())
        QCoreApplication::exec();
    progress.reset();
    for (const RunOutcome::SilentHost &host : outcome.silentHosts)
        printError(tr("echo host %1 did not answer (%2)%3")
                       .arg(host.host, host.reason, outcome.probed ? tr(": the check went on without it") : QString()));
    for (const RunOutcome::SilentHost &host : outcome.frontedHosts)
        printError(tr("echo host %1 returned %2 when asked directly: something between this computer and it adds "
                      "them, so the grades of the proxies checked through it cannot be trusted")
                       .arg(host.host, host.reason));
    const bool hostsLeft = !outcome.echoLost || outcome.lostHosts.empty();
    for (const RunOutcome::SilentHost &host : outcome.lostHosts)
        printError(tr("echo host %1 stopped answering during the check (%2): %3")
                       .arg(host.host, host.reason,
                            hostsLeft ? tr("the proxies it had failed since it last answered were tested again "
                                           "through the other echo hosts")
                                      : tr("no echo host is left, so the proxies not printed were not tested")));
    if (!outcome.probed && !outcome.aborted && !signals.exitStatus()) {
        printError(tr("no echo host answered, so no proxy was tested (--no-echo-check tests without asking them)"));
        return EchoHostsSilent;
    }

    if (const QString failure = report(); !failure.isEmpty()) {
        printError(tr("cannot write the results: %1").arg(failure));
        return 1;
    }
    if (const int status = signals.exitStatus())
        return status;
    if (!outcome.shortage.isEmpty()) {
        printError(tr("this computer could not open another connection (%1): the proxies not printed were not "
                      "tested")
                       .arg(outcome.shortage));
        return 1;
    }
    if (outcome.echoLost) {
        if (hostsLeft)
            printError(tr("no proxy worked, and the echo hosts no longer answer: they stopped answering during the "
                          "check, and these verdicts are not to be trusted"));
        return EchoHostsSilent;
    }
    return 0;
}

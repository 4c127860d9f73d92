#include "cli/CheckCommand.h"

#include "checker/CheckRun.h"
#include "cli/CheckReport.h"
#include "cli/InterruptWatch.h"
#include "cli/ProgressLine.h"
#include "cli/StandardOutput.h"

#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// Standard streams, the event loop's own descriptors, the interrupt pipe: what the program holds besides sockets.
constexpr rlim_t SpareDescriptors = 32;
} // namespace

QString CheckCommand::reserveDescriptors() const
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return {};
    // As far as the hard limit allows: a batch of a thousand sockets is more than the usual soft limit.
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    const rlim_t needed = rlim_t(m_options.threads) + SpareDescriptors;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
        return tr("--threads %1 needs %2 open files, and this process may open only %3 "
                  "(see ulimit -n); use at most --threads %4")
            .arg(m_options.threads)
            .arg(qulonglong(needed))
            .arg(qulonglong(limit.rlim_cur))
            .arg(qulonglong(limit.rlim_cur > SpareDescriptors ? limit.rlim_cur - SpareDescriptors : 0));
    }
    return {};
}

int CheckCommand::run()
{
    CheckRun checkRun(m_table, m_panels, *this);
    checkRun.setSettings({m_options.threads, m_options.timeoutSeconds});
    if (!m_options.echoHost.isEmpty())
        checkRun.setProbeHost(m_options.echoHost);

    // Ctrl+C does what Abort does: the batch under way ends, then the run.
    InterruptWatch interrupt;
    QObject::connect(&interrupt, &InterruptWatch::interruptRequested, &checkRun, &CheckRun::abort);
    std::unique_ptr<ProgressLine> progress;
    if (!m_options.quiet && ::isatty(STDERR_FILENO)) {
        progress = std::make_unique<ProgressLine>(m_table, checkRun);
        progress->start();
    }
    checkRun.run(0);
    progress.reset();

    const CheckReport report(m_table, m_options);
    if (const QString failure = writeToStandardOutput(report.text(report.reportedRows())); !failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(tr("korvane-cli: cannot write the results: %1").arg(failure)));
        return 1;
    }
    return interrupt.interrupted() ? 130 : 0;
}

#include "checker/CheckRun.h"

#include "proxylist/ProxyList.h"

namespace {
// So many rows judged, none of them working, and the echo hosts are asked again.
constexpr int SuspectFailures = 20;
} // namespace

CheckRun::CheckRun(ProxyList &list, const Clock *clock, QObject *parent)
    : QObject(parent), m_list(list), m_rows(list), m_probes(list, clock ? *clock : m_steadyClock),
      m_counting(connect(&m_probes, &ProbeSet::judged, this, &CheckRun::onJudged)),
      m_batches(m_probes, m_rows, clock ? *clock : m_steadyClock),
      m_pool(m_probes, m_rows, clock ? *clock : m_steadyClock)
{
    for (Scheduler *scheduler : {static_cast<Scheduler *>(&m_batches), static_cast<Scheduler *>(&m_pool)})
        connect(scheduler, &Scheduler::finished, this, &CheckRun::onSchedulerFinished);
    connect(&m_echoCheck, &EchoCheck::finished, this, &CheckRun::onEchoCheckFinished);
}

void CheckRun::start(CheckRows::Mode mode)
{
    if (m_list.count() < 1 || m_phase != Phase::Idle)
        return;
    m_mode = mode;
    m_outcome = RunOutcome();
    m_running = true;
    Q_EMIT started();
    // Abort may come from whoever handled started().
    if (m_outcome.aborted)
        return finish();
    if (!m_checksEchoHosts) {
        // Nothing known of the hosts: no token, no grade.
        for (EchoHost &host : m_probes.echoHosts())
            host.setKorvane(false);
        m_probes.setYourAddresses(std::nullopt);
        m_probes.useAllHosts();
        return probe();
    }
    m_phase = Phase::AskingEchoHosts;
    m_echoCheck.start(m_probes.echoHosts(), m_settings.timeout);
}

void CheckRun::onEchoCheckFinished()
{
    if (m_phase == Phase::AskingAgain) {
        m_outcome.echoLost = !m_echoCheck.anyAnswered();
        return finish();
    }
    std::vector<size_t> answering;
    std::vector<QHostAddress> yourAddresses;
    std::vector<EchoHost> &hosts = m_probes.echoHosts();
    for (size_t i = 0; i < hosts.size(); ++i) {
        const EchoCheck::Answer &answer = m_echoCheck.answers()[i];
        hosts[i].setKorvane(answer.korvane);
        if (!answer.yourAddress) {
            m_outcome.silentHosts.push_back({hosts[i].text(), answer.failure});
            continue;
        }
        answering.push_back(i);
        yourAddresses.push_back(*answer.yourAddress);
    }
    if (answering.empty())
        return finish();
    m_probes.setHostsInTurn(std::move(answering));
    m_probes.setYourAddresses(std::move(yourAddresses));
    probe();
}

void CheckRun::probe()
{
    m_phase = Phase::Probing;
    m_outcome.probed = true;
    m_working = 0;
    m_failed = 0;
    m_probes.clearLookups();
    m_rows.start(m_mode);
    m_list.resetResults(m_rows.rowsToReset());
    m_scheduler->start(m_settings);
}

void CheckRun::onJudged(int row)
{
    const ProxyStatus status = m_list.result(row).status;
    m_working += status == ProxyStatus::Working;
    m_failed += status != ProxyStatus::Working && status != ProxyStatus::Untested;
    Q_EMIT judged(row);
}

void CheckRun::onSchedulerFinished()
{
    m_outcome.shortage = m_probes.shortage();
    // Nothing but failures: the echo hosts may have stopped answering during the run.
    if (m_checksEchoHosts && !m_outcome.aborted && m_outcome.shortage.isEmpty() && m_working == 0 &&
        m_failed >= SuspectFailures) {
        m_hostsAgain.clear();
        for (const size_t host : m_probes.hostsInTurn())
            m_hostsAgain.push_back(m_probes.echoHosts()[host]);
        m_phase = Phase::AskingAgain;
        return m_echoCheck.start(m_hostsAgain, m_settings.timeout);
    }
    finish();
}

void CheckRun::finish()
{
    m_phase = Phase::Idle;
    Q_EMIT finished(m_outcome);
    m_running = false;
}

void CheckRun::abort()
{
    m_outcome.aborted = true;
    if (m_phase == Phase::Probing)
        return m_scheduler->abort();
    // Asking the echo hosts ends at once.
    if (m_echoCheck.isRunning()) {
        m_echoCheck.stop();
        finish();
    }
}

void CheckRun::setEchoHosts(const QStringList &hosts)
{
    std::vector<EchoHost> parsed;
    for (const QString &host : hosts) {
        if (const std::optional<EchoHost> echo = EchoHost::parse(host))
            parsed.push_back(*echo);
    }
    if (!parsed.empty())
        m_probes.setEchoHosts(std::move(parsed));
}

void CheckRun::stop()
{
    m_echoCheck.stop();
    m_scheduler->stop();
    m_phase = Phase::Idle;
    m_running = false;
}

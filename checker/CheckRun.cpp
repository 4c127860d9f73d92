#include "checker/CheckRun.h"

#include "checker/TlsContext.h"
#include "checker/TlsLayer.h"
#include "location/GeoDatabase.h"
#include "proxylist/ProxyList.h"

namespace {
// So many rows judged, none of them working, and the echo hosts are asked again.
constexpr int SuspectFailures = 20;
} // namespace

CheckRun::CheckRun(ProxyList &list, const Clock *clock, QObject *parent)
    : QObject(parent), m_list(list), m_echoCheck(m_names), m_hostCheck(m_names), m_rows(list),
      m_probes(list, clock ? *clock : m_steadyClock, m_names),
      m_counting(connect(&m_probes, &ProbeSet::judged, this, &CheckRun::onJudged)),
      m_batches(m_probes, m_rows, clock ? *clock : m_steadyClock),
      m_pool(m_probes, m_rows, clock ? *clock : m_steadyClock)
{
    for (Scheduler *scheduler : {static_cast<Scheduler *>(&m_batches), static_cast<Scheduler *>(&m_pool)})
        connect(scheduler, &Scheduler::finished, this, &CheckRun::onSchedulerFinished);
    connect(&m_echoCheck, &EchoCheck::finished, this, &CheckRun::onEchoCheckFinished);
    connect(&m_probes, &ProbeSet::hostSuspected, this, &CheckRun::onHostSuspected);
    connect(&m_hostCheck, &EchoCheck::finished, this, &CheckRun::onHostCheckFinished);
    // Before judged(), which refills the pool: the row goes out again first.
    connect(&m_probes, &ProbeSet::returned, this, [this](int row) { m_rows.putBack(row); });
    connect(&m_probes, &ProbeSet::retryLater, this, [this](int row) { m_rows.retryLater(row); });
}

void CheckRun::start(CheckRows::Mode mode)
{
    if (m_list.count() < 1 || m_phase != Phase::Idle)
        return;
    m_mode = mode;
    m_outcome = RunOutcome();
    m_running = true;
    // A run looks its names up afresh, and its locations in the database as it is now (`location update` may have
    // replaced it since the last run).
    m_names.clear();
    GeoDatabase::forThisThread().reopenIfChanged();
    Q_EMIT started();
    // Abort may come from whoever handled started().
    if (m_outcome.aborted)
        return finish();
    // Nothing to test: no echo host is asked, and the run ends as one that tested every row it had.
    m_rows.start(mode);
    if (!m_checksEchoHosts || !m_rows.hasRows()) {
        // Nothing known of the hosts: no token, no grade.
        EchoRotation &echoHosts = m_probes.echoHosts();
        for (EchoHost &host : echoHosts.hosts())
            host.setKorvane(false);
        echoHosts.forgetYourAddresses();
        echoHosts.useAll();
        return probe();
    }
    m_phase = Phase::AskingEchoHosts;
    m_echoCheck.start(m_probes.echoHosts().hosts(), m_settings.timeout);
}

void CheckRun::onEchoCheckFinished()
{
    if (m_phase == Phase::AskingAgain) {
        m_outcome.echoLost = !m_echoCheck.anyAnswered();
        return finish();
    }
    std::vector<size_t> answering;
    EchoRotation &echoHosts = m_probes.echoHosts();
    std::vector<EchoHost> &hosts = echoHosts.hosts();
    echoHosts.forgetYourAddresses();
    for (size_t i = 0; i < hosts.size(); ++i) {
        const EchoCheck::Answer &answer = m_echoCheck.answers()[i];
        hosts[i].setKorvane(answer.korvane);
        if (!answer.yourAddress) {
            m_outcome.silentHosts.push_back({hosts[i].text(), answer.failure});
            continue;
        }
        answering.push_back(i);
        if (!answer.originHeaders.isEmpty()) {
            QStringList names;
            for (const QByteArray &header : answer.originHeaders)
                names.append(QString::fromLatin1(header.left(header.indexOf(':'))));
            m_outcome.frontedHosts.push_back({hosts[i].text(), names.join(QStringLiteral(", "))});
        }
        // Each host's probes are judged by what that host saw: another host may be behind a NAT, or lie.
        echoHosts.setYourAddress(i, *answer.yourAddress);
    }
    if (answering.empty())
        return finish();
    echoHosts.setInTurn(std::move(answering));
    probe();
}

void CheckRun::probe()
{
    m_phase = Phase::Probing;
    m_suspects.clear();
    m_schedulerWaits = false;
    m_rowsPutBack = false;
    m_outcome.probed = true;
    m_working = 0;
    m_failed = 0;
    m_rows.start(m_mode);
    m_list.resetResults(m_rows.rowsToReset());
    m_probes.startRun(m_settings.retries);
    m_scheduler->start(m_settings);
}

void CheckRun::onJudged(int row)
{
    // A failure to be tried again is no verdict yet.
    if (m_probes.awaitsRetry(row))
        return;
    const ProxyStatus status = m_list.result(row).status;
    m_working += status == ProxyStatus::Working;
    m_failed += status != ProxyStatus::Working && status != ProxyStatus::Untested;
    Q_EMIT judged(row);
}

void CheckRun::onSchedulerFinished()
{
    // A host being asked again may yet send rows back out.
    if (m_hostCheck.isRunning()) {
        m_schedulerWaits = true;
        return;
    }
    m_outcome.shortage = m_probes.shortage();
    // Every echo host stopped answering during the run: there is nothing to ask again.
    if (m_outcome.echoLost)
        return finish();
    // Nothing but failures: the echo hosts may have stopped answering during the run.
    if (m_checksEchoHosts && !m_outcome.aborted && m_outcome.shortage.isEmpty() && m_working == 0 &&
        m_failed >= SuspectFailures) {
        m_hostsAgain.clear();
        const EchoRotation &echoHosts = m_probes.echoHosts();
        for (const size_t host : echoHosts.inTurn())
            m_hostsAgain.push_back(echoHosts.hosts()[host]);
        m_phase = Phase::AskingAgain;
        return m_echoCheck.start(m_hostsAgain, m_settings.timeout);
    }
    finish();
}

void CheckRun::onHostSuspected(size_t host)
{
    // A computer that reaches the internet only through proxies cannot ask a host directly.
    if (!m_checksEchoHosts)
        return;
    m_suspects.push_back(host);
    if (!m_hostCheck.isRunning())
        askNextSuspect();
}

void CheckRun::askNextSuspect()
{
    // A copy: whatever the check learns of it, the run's host stays as the probes know it.
    m_hostAsked = {m_probes.echoHosts().hosts()[m_suspects.front()]};
    m_hostCheck.start(m_hostAsked, m_settings.timeout);
}

void CheckRun::onHostCheckFinished()
{
    const size_t host = m_suspects.front();
    m_suspects.pop_front();
    const EchoCheck::Answer &answer = m_hostCheck.answers().front();
    if (answer.yourAddress) {
        m_probes.hostAnswers(host);
        // A judge that restarted signs with new keys only: the next probes take the one it offered now.
        if (m_hostAsked.front().key())
            m_probes.echoHosts().hosts()[host].setKey(m_hostAsked.front().key());
    } else {
        dropHost(host, answer.failure);
    }
    if (!m_suspects.empty())
        return askNextSuspect();
    if (!std::exchange(m_schedulerWaits, false))
        return;
    // The scheduler had run out of rows: those put back go out now, through the hosts left.
    if (std::exchange(m_rowsPutBack, false) && !m_outcome.echoLost && !m_outcome.aborted &&
        m_probes.shortage().isEmpty())
        return m_scheduler->start(m_settings);
    onSchedulerFinished();
}

void CheckRun::dropHost(size_t host, const QString &why)
{
    m_outcome.lostHosts.push_back({m_probes.echoHosts().hosts()[host].text(), why});
    for (const int row : m_probes.dropHost(host)) {
        // The proxy did its part; the echo host did not: the row is untested, and goes out again.
        if (!m_list.isValidRow(row) || !m_list.result(row).isVerdict())
            continue;
        --m_failed;
        m_list.apply(row, {ProxyResult()});
        m_rows.putBack(row);
        m_rowsPutBack = true;
    }
    if (m_probes.echoHosts().inTurn().empty()) {
        m_outcome.echoLost = true;
        m_scheduler->abort();
    }
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
        m_probes.echoHosts().setHosts(std::move(parsed));
}

void CheckRun::stop()
{
    m_echoCheck.stop();
    m_hostCheck.stop();
    m_suspects.clear();
    m_schedulerWaits = false;
    m_scheduler->stop();
    m_phase = Phase::Idle;
    m_running = false;
}

QString CheckRun::setSite(std::optional<SiteCheck> site)
{
    if (!site || !site->tls) {
        m_probes.setSite(std::move(site));
        return {};
    }
    // One context for every connection to the site: loading the system's certificates takes tens of milliseconds.
    std::variant<TlsContext, QString> made = TlsContext::create(site->caFile, site->insecure);
    if (const QString *error = std::get_if<QString>(&made))
        return *error;
    auto context = std::make_shared<const TlsContext>(std::get<TlsContext>(std::move(made)));
    const QString host = site->host;
    m_probes.setSite(std::move(site), [context, host] { return std::make_unique<TlsLayer>(*context, host); });
    return {};
}

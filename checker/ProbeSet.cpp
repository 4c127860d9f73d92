#include "checker/ProbeSet.h"

#include "checker/EchoJudgement.h"
#include "checker/NameCache.h"
#include "checker/ProbeSocket.h"
#include "checker/ProtocolSearch.h"
#include "checker/SingleAttempt.h"
#include "checker/SiteJudgement.h"
#include "checker/SocketWatch.h"
#include "proxylist/ProxyList.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace {
// A row without a scheme, when protocols are searched for, tries them in turn; any other speaks its own, once.
std::unique_ptr<AttemptPolicy> attemptPolicy(bool searching)
{
    if (searching)
        return std::make_unique<ProtocolSearch>();
    return std::make_unique<SingleAttempt>();
}

int millisecondsSince(const Clock &clock, Clock::TimePoint start)
{
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - start);
    return int(std::clamp<qint64>(took.count(), 0, INT_MAX));
}

RowVerdict withSite(RowVerdict verdict, SiteVerdict site)
{
    verdict.site = std::move(site);
    return verdict;
}
} // namespace

// One row's probe: the connection under way, and what comes after it. It hears its connection's events and hands
// them on to the set.
struct ProbeSet::Probe final : ProbeSocket::Listener
{
    Probe(ProbeSet &set, int row, size_t host, ProxyAddress proxy, std::unique_ptr<AttemptPolicy> policy,
          Clock::TimePoint startedAt)
        : set(set), row(row), host(host), proxy(std::move(proxy)), policy(std::move(policy)), startedAt(startedAt)
    {}
    Probe(const Probe &) = delete;
    Probe &operator=(const Probe &) = delete;
    ~Probe() = default;

    void connected(ProbeSocket & /*socket*/) override { set.onConnected(*this); }
    void dataArrived(ProbeSocket & /*socket*/) override { set.onDataArrived(*this); }
    void closed(ProbeSocket & /*socket*/) override { set.onClosed(*this); }
    void failed(ProbeSocket & /*socket*/) override { set.onFailed(*this); }

    ProbeSet &set;
    int row;
    // The echo host it asks, by its place.
    size_t host;
    // The row's proxy in the protocol of the connection under way.
    ProxyAddress proxy;
    std::unique_ptr<AttemptPolicy> policy;
    // When the connection under way started; the row's time out counts from its place among the open.
    Clock::TimePoint startedAt;
    // The addresses the proxy's name led to, which the echo page may show as its own.
    QList<QHostAddress> proxyAddresses = {};
    // Where the connection under way goes.
    QHostAddress address = {};
    std::unique_ptr<ProbeSocket> socket = nullptr;
    // Made once the connection is up: most probes of a long list never get that far.
    std::unique_ptr<ProbeExchange> exchange = nullptr;
    // The row's verdict on its echo page while the site is fetched through the proxy; nothing before.
    std::optional<RowVerdict> echoVerdict = std::nullopt;
    // Its look-up of the proxy's name while that is under way, and its place among the open.
    quint64 lookUp = 0;
    DeadlineQueue<std::unique_ptr<Probe>>::Handle place = {};
};

ProbeSet::ProbeSet(ProxyList &list, const Clock &clock, NameCache &names, QObject *parent)
    : QObject(parent), m_list(list), m_clock(clock), m_names(names), m_watch(std::make_shared<SocketWatch>())
{}

// Each probe's socket keeps the watch they share for as long as it needs it.
ProbeSet::~ProbeSet() = default;

bool ProbeSet::hasSocks4Rows() const
{
    for (int r = 0; r < m_list.count(); ++r) {
        const QLatin1StringView text = m_list.text(r);
        if ((m_searching && !ProxyValidator::hasScheme(text)) ||
            ProxyValidator::protocolOf(text, m_bareProtocol) == ProxyAddress::Protocol::Socks4)
            return true;
    }
    return false;
}

const ProbeSocket *ProbeSet::socketOf(int row) const
{
    const ProbeSocket *found = nullptr;
    m_open.visit([row, &found](const std::unique_ptr<Probe> &probe) {
        if (probe->row == row)
            found = probe->socket.get();
    });
    return found;
}

void ProbeSet::startRun(int retries)
{
    m_retries.start(m_list.count(), retries);
}

bool ProbeSet::start(int row)
{
    m_retries.resume(row);
    // No echo host left: the run is ending, and the row stays untested.
    if (m_echoHosts.inTurn().empty()) {
        Q_EMIT judged(row);
        return true;
    }
    m_list.apply(row, {ProxyResult::failed(ProxyStatus::Checking)});
    // Connect only where the row points, read with the loader's number rules; a name a schemed row gives is
    // looked up, once per run. A search for a row's protocol starts with SOCKS 5.
    const QLatin1StringView text = m_list.text(row);
    const bool searching = m_searching && !ProxyValidator::hasScheme(text);
    std::optional<ProxyAddress> proxy =
        m_validator.address(text, searching ? ProxyAddress::Protocol::Socks5 : m_bareProtocol);
    if (!proxy) {
        write(row, {ProxyResult::failed(ProxyStatus::Error)}, true);
        return true;
    }
    // Each probe's own start: the probes of a batch start together, and none is charged another's time.
    const Clock::TimePoint now = m_clock.now();
    auto owned =
        std::make_unique<Probe>(*this, row, m_echoHosts.next(), std::move(*proxy), attemptPolicy(searching), now);
    Probe &probe = *owned;
    probe.place = m_open.push(now, std::move(owned));
    if (!probe.proxy.hostName.isEmpty()) {
        probe.lookUp = ++m_lastLookUp;
        m_lookingUp.emplace(probe.lookUp, &probe);
        m_names.lookUp(probe.proxy.hostName, this,
                       [this, lookUp = probe.lookUp](const QList<QHostAddress> &found) { onNameFound(lookUp, found); });
        return true;
    }
    if (probe.proxy.host.protocol() == QAbstractSocket::IPv6Protocol)
        probe.proxyAddresses = {probe.proxy.host};
    return connectProbe(probe, probe.proxy.host);
}

void ProbeSet::onNameFound(quint64 lookUp, QList<QHostAddress> addresses)
{
    // A probe may have timed out while it waited.
    const auto waiting = m_lookingUp.find(lookUp);
    if (waiting == m_lookingUp.end())
        return;
    Probe &probe = *waiting->second;
    m_lookingUp.erase(waiting);
    probe.lookUp = 0;
    if (addresses.isEmpty())
        return onAttemptEnded(probe, RowVerdict{ProxyResult::failed(ProxyStatus::Error)});
    // IPv4 first: most proxies listen there, and one address is tried.
    std::stable_partition(addresses.begin(), addresses.end(), [](const QHostAddress &address) {
        return address.protocol() == QAbstractSocket::IPv4Protocol;
    });
    probe.proxyAddresses = addresses;
    connectProbe(probe, addresses.first());
}

bool ProbeSet::connectProbe(Probe &probe, const QHostAddress &address)
{
    probe.address = address;
    probe.socket = std::make_unique<ProbeSocket>(probe, m_watch);
    if (probe.echoVerdict) {
        // The body the site may send, its head, and what TLS adds to them.
        probe.socket->setAnswerLimit(m_site->maxBody + m_site->maxBody / 32 + (qint64(256) << 10));
    }
    const int shortage = probe.socket->connectTo(address, probe.proxy.port);
    if (shortage == 0)
        return true;
    // Not the proxy's failure: the row stays untested, for "Test untested proxies" to pick up later.
    const int row = probe.row;
    end(probe);
    m_list.apply(row, {ProxyResult()});
    m_shortage = qt_error_string(shortage);
    return false;
}

std::unique_ptr<ProbeExchange> ProbeSet::exchangeFor(const Probe &probe) const
{
    if (probe.echoVerdict) {
        return std::make_unique<ProbeExchange>(Handshake::create(probe.proxy, m_site->target(), false),
                                               std::make_unique<SiteJudgement>(*m_site),
                                               m_siteLayer ? m_siteLayer() : nullptr);
    }
    const EchoHost &echo = m_echoHosts.hosts()[probe.host];
    return std::make_unique<ProbeExchange>(Handshake::create(probe.proxy, echo.target(), probe.policy->greetsAny()),
                                           std::make_unique<EchoJudgement>(echo, probe.proxy.hostPort,
                                                                           m_echoHosts.yourAddress(probe.host),
                                                                           probe.proxyAddresses));
}

void ProbeSet::onConnected(Probe &probe)
{
    probe.exchange = exchangeFor(probe);
    if (std::optional<RowVerdict> verdict = probe.exchange->onConnected(*probe.socket))
        onAttemptEnded(probe, std::move(*verdict));
}

void ProbeSet::onDataArrived(Probe &probe)
{
    if (std::optional<RowVerdict> verdict = probe.exchange->onData(*probe.socket))
        onAttemptEnded(probe, std::move(*verdict));
}

void ProbeSet::onClosed(Probe &probe)
{
    onAttemptEnded(probe, probe.exchange->onClosed(*probe.socket));
}

void ProbeSet::onFailed(Probe &probe)
{
    // Failed before it connected: nothing was exchanged.
    onAttemptEnded(probe, probe.exchange ? probe.exchange->onFailed(*probe.socket)
                                         : RowVerdict{ProxyResult::failed(ProxyStatus::Error)});
}

void ProbeSet::onAttemptEnded(Probe &probe, RowVerdict verdict)
{
    if (probe.echoVerdict)
        return onSiteEnded(probe, verdict);
    const ProbeExchange *ended = probe.exchange.get();
    const std::optional<ProxyAddress::Protocol> next =
        probe.policy->next({verdict, ended && ended->connected(), ended && ended->opened(),
                            ended && probe.socket ? ended->heard(*probe.socket) : std::nullopt});
    if (next && tryAgain(probe, *next))
        return;
    if (!next)
        verdict = probe.policy->verdict();
    const int row = probe.row;
    if (verdict.result.status == ProxyStatus::Working)
        verdict.result.ms = millisecondsSince(m_clock, probe.startedAt);
    verdict = probedAt(probe, std::move(verdict));
    const bool holds = countForHost(probe, row, verdict.result);
    if (holds && verdict.result.status == ProxyStatus::Working && fetchSite(probe, verdict))
        return;
    // Gone first: writing the verdict tells the list's watchers, and they may do anything.
    end(probe);
    write(row, holds ? verdict : RowVerdict(), holds);
}

bool ProbeSet::tryAgain(Probe &probe, ProxyAddress::Protocol protocol)
{
    std::optional<ProxyAddress> proxy = m_validator.address(m_list.text(probe.row), protocol);
    if (!proxy)
        return false;
    // The same row and echo host on a new connection, in the same place: the row's time out still counts from its
    // first.
    dropConnection(probe);
    probe.proxy = std::move(*proxy);
    probe.proxyAddresses.clear();
    probe.startedAt = m_clock.now();
    const int row = probe.row;
    // Out of sockets, the row is untested again; its scheduler hears of it as of a verdict.
    if (!connectProbe(probe, probe.proxy.host))
        Q_EMIT judged(row);
    return true;
}

bool ProbeSet::fetchSite(Probe &probe, const RowVerdict &echoVerdict)
{
    if (!m_site)
        return false;
    // An HTTP proxy carries TLS in a CONNECT tunnel.
    if (m_site->tls && probe.proxy.protocol == ProxyAddress::Protocol::Http)
        probe.proxy.protocol = ProxyAddress::Protocol::Connect;
    dropConnection(probe);
    probe.echoVerdict = echoVerdict;
    probe.startedAt = m_clock.now();
    probe.place = m_open.reschedule(probe.place, probe.startedAt);
    const int row = probe.row;
    // Out of sockets, the row keeps its echo verdict and says why its site was not asked: it is judged, and the run
    // meets the shortage again, and tells it, when it starts its next probe.
    if (!connectProbe(probe, probe.address))
        write(row, withSite(echoVerdict, {SiteStatus::Error, 0, std::exchange(m_shortage, {})}), true);
    return true;
}

void ProbeSet::onSiteEnded(Probe &probe, const RowVerdict &verdict)
{
    const int row = probe.row;
    // Ended before the tunnel opened, the exchange has no site verdict of its own.
    const bool connected = probe.exchange && probe.exchange->connected();
    SiteVerdict site = verdict.site.value_or(SiteVerdict{
        SiteStatus::Error, 0, connected ? QStringLiteral("tunnel refused") : QStringLiteral("proxy unreachable")});
    if (site.httpStatus > 0)
        site.ms = millisecondsSince(m_clock, probe.startedAt);
    const RowVerdict echoVerdict = *probe.echoVerdict;
    end(probe);
    write(row, withSite(echoVerdict, std::move(site)), true);
}

RowVerdict ProbeSet::probedAt(const Probe &probe, RowVerdict verdict) const
{
    if (probe.host < m_echoHosts.hosts().size())
        verdict.echoHost = m_echoHosts.hosts()[probe.host].text();
    if (!probe.proxy.hostName.isEmpty() && !probe.address.isNull())
        verdict.proxyAddress = probe.address.toString();
    return verdict;
}

bool ProbeSet::countForHost(const Probe &probe, int row, const ProxyResult &result)
{
    const bool reached = probe.exchange && probe.exchange->connected();
    switch (m_echoHosts.count(probe.host, row, result.status == ProxyStatus::Working, reached)) {
    case EchoRotation::Count::Holds:
        return true;
    case EchoRotation::Count::HoldsHostSuspected:
        Q_EMIT hostSuspected(probe.host);
        return true;
    case EchoRotation::Count::HostDead:
        break;
    }
    return false;
}

void ProbeSet::write(int row, RowVerdict verdict, bool holds)
{
    if (holds)
        verdict.attempts = m_retries.count(row, verdict.result.status);
    m_list.apply(row, verdict);
    if (!holds)
        Q_EMIT returned(row);
    else if (m_retries.awaitsRetry(row))
        Q_EMIT retryLater(row);
    else if (verdict.result.isVerdict())
        Q_EMIT verdictWritten(row, verdict);
    Q_EMIT judged(row);
}

void ProbeSet::dropConnection(Probe &probe)
{
    probe.exchange.reset();
    if (!probe.socket)
        return;
    probe.socket->release();
    // The socket may be telling of the event being handled; deleted at the loop's next turn, with all that went
    // in this one.
    if (m_spentSockets.empty())
        QMetaObject::invokeMethod(this, &ProbeSet::deleteSpentSockets, Qt::QueuedConnection);
    m_spentSockets.push_back(std::move(probe.socket));
}

void ProbeSet::deleteSpentSockets()
{
    m_spentSockets.clear();
}

void ProbeSet::end(Probe &probe)
{
    if (probe.lookUp != 0)
        m_lookingUp.erase(probe.lookUp);
    dropConnection(probe);
    // The probe itself may be handing on its socket's event: nothing of it is read once that call returns.
    m_open.erase(probe.place);
}

void ProbeSet::timeOutStartedBefore(Clock::TimePoint moment)
{
    // In the order the probes started; a probe's connection goes before its row is written.
    while (!m_open.empty() && m_open.firstTime() <= moment) {
        Probe &probe = *m_open.first();
        const int row = probe.row;
        // A site still being fetched was counted for the echo host with the verdict it follows.
        const RowVerdict verdict = probe.echoVerdict ? withSite(*probe.echoVerdict, {SiteStatus::Timeout})
                                                     : probedAt(probe, probe.policy->timedOut());
        const bool checking = m_list.isValidRow(row) && m_list.result(row).status == ProxyStatus::Checking;
        const bool holds = !checking || probe.echoVerdict || countForHost(probe, row, verdict.result);
        end(probe);
        if (checking)
            write(row, holds ? verdict : RowVerdict(), holds);
    }
}

void ProbeSet::releaseAll()
{
    m_names.clear();
    while (!m_open.empty())
        end(*m_open.first());
    m_watch->spares().clear();
}

#include "checker/ProbeSet.h"

#include "checker/EchoJudgement.h"
#include "checker/NameCache.h"
#include "checker/ProbeSocket.h"
#include "checker/ProtocolSearch.h"
#include "checker/SingleAttempt.h"
#include "checker/SiteJudgement.h"
#include "checker/SocketWatch.h"
#include "proxylist/ProxyList.h"

#include <QPointer>

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

ProbeSet::ProbeSet(ProxyList &list, const Clock &clock, NameCache &names, QObject *parent)
    : QObject(parent), m_list(list), m_clock(clock), m_names(names), m_watch(std::make_shared<SocketWatch>())
{}

// The connections still open or let go and not yet deleted are children: they go with the set.
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
    const std::optional<ProxyAddress> proxy =
        m_validator.address(text, searching ? ProxyAddress::Protocol::Socks5 : m_bareProtocol);
    if (!proxy) {
        write(row, {ProxyResult::failed(ProxyStatus::Error)}, true);
        return true;
    }
    // Each probe's own start: the probes of a batch start together, and none is charged another's time.
    ProbeSocket *socket = newSocket(row, m_clock.now());
    Probe &probe =
        m_probes
            .emplace(socket, Probe{m_echoHosts.next(), *proxy, attemptPolicy(searching), nullptr, socket->startedAt()})
            .first->second;
    probe.place = m_open.push(socket->startedAt(), socket);
    if (!proxy->hostName.isEmpty()) {
        m_names.lookUp(proxy->hostName, socket, [this, socket = QPointer(socket)](const QList<QHostAddress> &found) {
            onNameFound(socket, found);
        });
        return true;
    }
    const bool ipv6 = proxy->host.protocol() == QAbstractSocket::IPv6Protocol;
    return connectProbe(socket, ipv6 ? QList{proxy->host} : QList<QHostAddress>(), proxy->host);
}

ProbeSocket *ProbeSet::newSocket(int row, Clock::TimePoint startedAt)
{
    auto *socket = new ProbeSocket(this, m_watch);
    socket->setRow(row);
    socket->setStartedAt(startedAt);
    return socket;
}

void ProbeSet::onNameFound(ProbeSocket *socket, QList<QHostAddress> addresses)
{
    // A probe may have timed out while it waited.
    if (!socket || !m_probes.contains(socket))
        return;
    if (addresses.isEmpty())
        return onAttemptEnded(socket, RowVerdict{ProxyResult::failed(ProxyStatus::Error)});
    // IPv4 first: most proxies listen there, and one address is tried.
    std::stable_partition(addresses.begin(), addresses.end(), [](const QHostAddress &address) {
        return address.protocol() == QAbstractSocket::IPv4Protocol;
    });
    connectProbe(socket, addresses, addresses.first());
}

bool ProbeSet::connectProbe(ProbeSocket *socket, const QList<QHostAddress> &proxyAddresses, const QHostAddress &address)
{
    Probe &probe = m_probes.at(socket);
    probe.address = address;
    probe.exchange = exchangeFor(probe, proxyAddresses);
    connectEvents(socket, *probe.exchange);
    const int shortage = socket->connectTo(address, probe.proxy.port);
    if (shortage == 0)
        return true;
    // Not the proxy's failure: the row stays untested, for "Test untested proxies" to pick up later.
    const int row = socket->row();
    end(socket);
    // Gone at once, not at the event loop's next turn: no event of it is under way, and the run may end first.
    delete socket;
    m_list.apply(row, {ProxyResult()});
    m_shortage = qt_error_string(shortage);
    return false;
}

std::unique_ptr<ProbeExchange> ProbeSet::exchangeFor(const Probe &probe,
                                                     const QList<QHostAddress> &proxyAddresses) const
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
                                                                           proxyAddresses));
}

void ProbeSet::connectEvents(ProbeSocket *socket, ProbeExchange &exchange)
{
    const auto onStep = [this, socket](const std::optional<RowVerdict> &verdict) {
        if (verdict)
            onAttemptEnded(socket, *verdict);
    };
    connect(socket, &ProbeSocket::connected, this, [=, &exchange] { onStep(exchange.onConnected(*socket)); });
    connect(socket, &ProbeSocket::dataArrived, this, [=, &exchange] { onStep(exchange.onData(*socket)); });
    connect(socket, &ProbeSocket::closed, this,
            [=, this, &exchange] { onAttemptEnded(socket, exchange.onClosed(*socket)); });
    connect(socket, &ProbeSocket::failed, this,
            [=, this, &exchange] { onAttemptEnded(socket, exchange.onFailed(*socket)); });
}

void ProbeSet::onAttemptEnded(ProbeSocket *socket, RowVerdict verdict)
{
    Probe &probe = m_probes.at(socket);
    if (probe.echoVerdict)
        return onSiteEnded(socket, verdict);
    const ProbeExchange *ended = probe.exchange.get();
    const std::optional<ProxyAddress::Protocol> next = probe.policy->next(
        {verdict, ended && ended->connected(), ended && ended->opened(), ended ? ended->heard(*socket) : std::nullopt});
    if (next && tryAgain(socket, *next))
        return;
    if (!next)
        verdict = probe.policy->verdict();
    const int row = socket->row();
    if (verdict.result.status == ProxyStatus::Working)
        verdict.result.ms = millisecondsSince(m_clock, probe.startedAt);
    verdict = probedAt(probe, std::move(verdict));
    const bool holds = countForHost(probe, row, verdict.result);
    if (holds && verdict.result.status == ProxyStatus::Working && fetchSite(socket, verdict))
        return;
    // Gone first: writing the verdict tells the list's watchers, and they may do anything.
    end(socket);
    write(row, holds ? verdict : RowVerdict(), holds);
}

bool ProbeSet::tryAgain(ProbeSocket *socket, ProxyAddress::Protocol protocol)
{
    const int row = socket->row();
    const std::optional<ProxyAddress> proxy = m_validator.address(m_list.text(row), protocol);
    if (!proxy)
        return false;
    // The same row and echo host on a new connection: the row's time out still counts from its first.
    ProbeSocket *again = newSocket(row, socket->startedAt());
    Probe &ended = m_probes.at(socket);
    Probe taken{ended.host, *proxy, std::move(ended.policy), nullptr, m_clock.now()};
    taken.place = ended.place;
    end(socket, again);
    m_probes.emplace(again, std::move(taken));
    // Out of sockets, the row is untested again; its scheduler hears of it as of a verdict.
    if (!connectProbe(again, {}, proxy->host))
        Q_EMIT judged(row);
    return true;
}

bool ProbeSet::fetchSite(ProbeSocket *socket, const RowVerdict &echoVerdict)
{
    if (!m_site)
        return false;
    const int row = socket->row();
    Probe &ended = m_probes.at(socket);
    ProxyAddress proxy = ended.proxy;
    // An HTTP proxy carries TLS in a CONNECT tunnel.
    if (m_site->tls && proxy.protocol == ProxyAddress::Protocol::Http)
        proxy.protocol = ProxyAddress::Protocol::Connect;
    ProbeSocket *fetch = newSocket(row, m_clock.now());
    // The body the site may send, its head, and what TLS adds to them.
    fetch->setAnswerLimit(m_site->maxBody + m_site->maxBody / 32 + (qint64(256) << 10));
    const QHostAddress address = ended.address;
    Probe taken{ended.host, proxy, std::move(ended.policy), nullptr, fetch->startedAt(), echoVerdict};
    end(socket);
    taken.place = m_open.push(fetch->startedAt(), fetch);
    m_probes.emplace(fetch, std::move(taken));
    // Out of sockets, the row keeps its echo verdict and says why its site was not asked: it is judged, and the run
    // meets the shortage again, and tells it, when it starts its next probe.
    if (!connectProbe(fetch, {}, address))
        write(row, withSite(echoVerdict, {SiteStatus::Error, 0, std::exchange(m_shortage, {})}), true);
    return true;
}

void ProbeSet::onSiteEnded(ProbeSocket *socket, const RowVerdict &verdict)
{
    const Probe &probe = m_probes.at(socket);
    const int row = socket->row();
    // Ended before the tunnel opened, the exchange has no site verdict of its own.
    SiteVerdict site = verdict.site.value_or(SiteVerdict{
        SiteStatus::Error, 0,
        probe.exchange->connected() ? QStringLiteral("tunnel refused") : QStringLiteral("proxy unreachable")});
    if (site.httpStatus > 0)
        site.ms = millisecondsSince(m_clock, probe.startedAt);
    const RowVerdict echoVerdict = *probe.echoVerdict;
    end(socket);
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

void ProbeSet::end(ProbeSocket *socket, ProbeSocket *successor)
{
    const auto probe = m_probes.find(socket);
    if (successor)
        DeadlineQueue<ProbeSocket *>::replace(probe->second.place, successor);
    else
        m_open.erase(probe->second.place);
    m_probes.erase(probe);
    socket->release();
    // The socket may be the sender of the event being handled.
    socket->deleteLater();
}

void ProbeSet::timeOutStartedBefore(Clock::TimePoint moment)
{
    // In the order the probes started; a probe's connection goes before its row is written.
    while (!m_open.empty() && m_open.firstTime() <= moment) {
        ProbeSocket *socket = m_open.first();
        const int row = socket->row();
        const Probe &probe = m_probes.at(socket);
        // A site still being fetched was counted for the echo host with the verdict it follows.
        const RowVerdict verdict = probe.echoVerdict ? withSite(*probe.echoVerdict, {SiteStatus::Timeout})
                                                     : probedAt(probe, probe.policy->timedOut());
        const bool checking = m_list.isValidRow(row) && m_list.result(row).status == ProxyStatus::Checking;
        const bool holds = !checking || probe.echoVerdict || countForHost(probe, row, verdict.result);
        end(socket);
        if (checking)
            write(row, holds ? verdict : RowVerdict(), holds);
    }
}

void ProbeSet::releaseAll()
{
    m_names.clear();
    while (!m_open.empty())
        end(m_open.first());
    m_watch->spares().clear();
}

#include "checker/ProbeSet.h"

#include "checker/ProbeSocket.h"
#include "proxylist/ProxyList.h"

#include <QHostInfo>

#include <algorithm>
#include <climits>
#include <numeric>

namespace {
// So many probes through an echo host fail in a row, their proxies reached, and the host is asked whether it still
// answers.
constexpr size_t SuspectFailures = 20;
} // namespace

ProbeSet::ProbeSet(ProxyList &table, const Clock &clock, QObject *parent)
    : QObject(parent), m_table(table), m_clock(clock)
{}

// The connections still open or let go and not yet deleted are children: they go with the set.
ProbeSet::~ProbeSet() = default;

void ProbeSet::setEchoHosts(std::vector<EchoHost> hosts)
{
    m_echoHosts = std::move(hosts);
    m_hosts.assign(m_echoHosts.size(), HostRecord());
    useAllHosts();
}

void ProbeSet::useAllHosts()
{
    std::vector<size_t> all(m_echoHosts.size());
    std::iota(all.begin(), all.end(), size_t(0));
    setHostsInTurn(std::move(all));
}

void ProbeSet::setHostsInTurn(std::vector<size_t> hosts)
{
    m_inTurn = std::move(hosts);
    m_turn = 0;
    for (HostRecord &record : m_hosts)
        record = {record.yourAddress, {}, false, false};
}

void ProbeSet::forgetYourAddresses()
{
    for (HostRecord &record : m_hosts)
        record.yourAddress.reset();
}

size_t ProbeSet::nextHost()
{
    Q_ASSERT(!m_inTurn.empty());
    return m_inTurn[m_turn++ % m_inTurn.size()];
}

void ProbeSet::hostAnswers(size_t host)
{
    HostRecord &record = m_hosts.at(host);
    record.failedRows.clear();
    record.suspected = false;
}

std::vector<int> ProbeSet::dropHost(size_t host)
{
    HostRecord &record = m_hosts.at(host);
    record.dead = true;
    std::erase(m_inTurn, host);
    return std::exchange(record.failedRows, {});
}

bool ProbeSet::countForHost(const Probe &probe, int row, const ProxyResult &result)
{
    HostRecord &record = m_hosts[probe.host];
    if (result.status == ProxyStatus::Working) {
        record.failedRows.clear();
        return true;
    }
    // A proxy that could not be reached tells nothing of the echo host behind it: its verdict is its own.
    if (!probe.exchange.connected())
        return true;
    if (record.dead)
        return false;
    record.failedRows.push_back(row);
    if (record.failedRows.size() >= SuspectFailures && !std::exchange(record.suspected, true))
        Q_EMIT hostSuspected(probe.host);
    return true;
}

bool ProbeSet::hasSocks4Rows() const
{
    for (int r = 0; r < m_table.count(); ++r) {
        const QLatin1StringView text = m_table.text(r);
        if ((m_searching && !ProxyValidator::hasScheme(text)) ||
            ProxyValidator::protocolOf(text, m_bareProtocol) == ProxyAddress::Protocol::Socks4)
            return true;
    }
    return false;
}

bool ProbeSet::start(int row)
{
    // No echo host left: the run is ending, and the row stays untested.
    if (m_inTurn.empty()) {
        Q_EMIT judged(row);
        return true;
    }
    m_table.apply(row, {ProxyResult::failed(ProxyStatus::Checking)});
    // Connect only where the row points, read with the loader's number rules; a name a schemed row gives is
    // looked up, once per run. A search for a row's protocol starts with SOCKS 5.
    const QLatin1StringView text = m_table.text(row);
    const bool searching = m_searching && !ProxyValidator::hasScheme(text);
    const std::optional<ProxyAddress> proxy =
        m_validator.address(text, searching ? ProxyAddress::Protocol::Socks5 : m_bareProtocol);
    if (!proxy) {
        m_table.apply(row, {ProxyResult::failed(ProxyStatus::Error)});
        Q_EMIT judged(row);
        return true;
    }
    auto *socket = new ProbeSocket(this);
    socket->setRow(row);
    // Each probe's own start: the probes of a batch start together, and none is charged another's time.
    socket->setStartedAt(m_clock.now());
    const size_t host = nextHost();
    Probe &probe =
        m_probes
            .emplace(socket, Probe{host, ProbeExchange(*proxy, m_echoHosts[host], m_hosts[host].yourAddress, searching),
                                   searching ? std::optional(ProtocolSearch()) : std::nullopt, socket->startedAt()})
            .first->second;
    connectEvents(socket);
    m_open.push_back(socket);
    if (!proxy->hostName.isEmpty()) {
        lookUp(socket, proxy->hostName, proxy->port);
        return true;
    }
    if (proxy->host.protocol() == QAbstractSocket::IPv6Protocol)
        probe.exchange.setProxyAddresses({proxy->host});
    return connectProbe(socket, proxy->host, proxy->port);
}

bool ProbeSet::connectProbe(ProbeSocket *socket, const QHostAddress &address, quint16 port)
{
    const int shortage = socket->connectTo(address, port);
    if (shortage == 0)
        return true;
    // Not the proxy's failure: the row stays untested, for "Test untested proxies" to pick up later.
    const int row = socket->row();
    release(socket);
    // Gone at once, not at the event loop's next turn: no event of it is under way, and the run may end first.
    delete socket;
    m_table.apply(row, {ProxyResult()});
    m_shortage = qt_error_string(shortage);
    return false;
}

void ProbeSet::lookUp(ProbeSocket *socket, const QString &name, quint16 port)
{
    NameLookup &lookup = m_lookups[name.toLower()];
    lookup.waiting.emplace_back(socket, port);
    if (lookup.asked)
        return lookup.answered ? answerWaiting(lookup) : void();
    lookup.asked = true;
    if (!m_lookupContext)
        m_lookupContext = std::make_unique<QObject>();
    QHostInfo::lookupHost(name, m_lookupContext.get(), [this, key = name.toLower()](const QHostInfo &info) {
        NameLookup &answered = m_lookups[key];
        answered.answered = true;
        // IPv4 first: most proxies listen there, and one address is tried.
        for (const QHostAddress &address : info.addresses())
            answered.addresses.insert(address.protocol() == QAbstractSocket::IPv4Protocol ? answered.addresses.begin()
                                                                                          : answered.addresses.end(),
                                      address);
        answerWaiting(answered);
    });
}

void ProbeSet::answerWaiting(NameLookup &lookup)
{
    // A probe may have timed out while it waited.
    const auto waiting = std::exchange(lookup.waiting, {});
    for (const auto &[socket, port] : waiting) {
        if (!socket || !m_probes.contains(socket.data()))
            continue;
        if (lookup.addresses.isEmpty()) {
            finish(socket, ProxyResult::failed(ProxyStatus::Error));
            continue;
        }
        m_probes.at(socket.data()).exchange.setProxyAddresses(lookup.addresses);
        connectProbe(socket, lookup.addresses.first(), port);
    }
}

void ProbeSet::clearLookups()
{
    m_lookups.clear();
    m_lookupContext.reset();
}

void ProbeSet::connectEvents(ProbeSocket *socket)
{
    ProbeExchange &exchange = m_probes.at(socket).exchange;
    connect(socket, &ProbeSocket::connected, this,
            [=, this, &exchange] { finishIf(socket, exchange.onConnected(*socket)); });
    connect(socket, &ProbeSocket::dataArrived, this,
            [=, this, &exchange] { finishIf(socket, exchange.onData(*socket)); });
    connect(socket, &ProbeSocket::closed, this, [=, this, &exchange] { finish(socket, exchange.onClosed(*socket)); });
    connect(socket, &ProbeSocket::failed, this, [=, this, &exchange] { finish(socket, exchange.onFailed(*socket)); });
}

void ProbeSet::finishIf(ProbeSocket *socket, const std::optional<ProxyResult> &result)
{
    if (result)
        finish(socket, *result);
}

bool ProbeSet::searchOn(ProbeSocket *socket, ProxyResult &result)
{
    Probe &probe = m_probes.at(socket);
    const ProbeExchange &ended = probe.exchange;
    const std::optional<ProxyAddress::Protocol> next =
        probe.search->next({result, ended.connected(), ended.opened(), ended.heard(*socket)});
    if (!next) {
        result = probe.search->verdict();
        return false;
    }
    const int row = socket->row();
    const std::optional<ProxyAddress> proxy = m_validator.address(m_table.text(row), *next);
    if (!proxy)
        return false;
    // The same row and echo host on a new connection, in the place of the old among the open: the row's time out
    // still counts from its first.
    auto *again = new ProbeSocket(this);
    again->setRow(row);
    again->setStartedAt(socket->startedAt());
    *std::find(m_open.begin(), m_open.end(), socket) = again;
    Probe taken{probe.host, ProbeExchange(*proxy, ended.echo(), m_hosts[probe.host].yourAddress), probe.search,
                m_clock.now()};
    letGo(socket);
    m_probes.emplace(again, std::move(taken));
    connectEvents(again);
    // Out of sockets, the row is untested again; its scheduler hears of it as of a verdict.
    if (!connectProbe(again, proxy->host, proxy->port))
        Q_EMIT judged(row);
    return true;
}

void ProbeSet::finish(ProbeSocket *socket, ProxyResult result)
{
    if (m_probes.at(socket).search && searchOn(socket, result))
        return;
    const int row = socket->row();
    QString exitAddress;
    if (result.status == ProxyStatus::Working) {
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.now() - m_probes.at(socket).startedAt);
        result.ms = int(std::clamp<qint64>(took.count(), 0, INT_MAX));
        exitAddress = ProbeExchange::exitAddress(socket->answer());
    }
    const bool holds = countForHost(m_probes.at(socket), row, result);
    // Let go first: writing the verdict tells the table's watchers, and they may do anything.
    release(socket);
    writeVerdict(row, holds ? result : ProxyResult(), holds, exitAddress);
}

void ProbeSet::writeVerdict(int row, const ProxyResult &result, bool holds, const QString &exitAddress)
{
    m_table.apply(row, {result, exitAddress});
    if (!holds)
        Q_EMIT returned(row);
    Q_EMIT judged(row);
}

void ProbeSet::release(ProbeSocket *socket)
{
    m_open.erase(std::find(m_open.begin(), m_open.end(), socket));
    letGo(socket);
}

void ProbeSet::letGo(ProbeSocket *socket)
{
    m_probes.erase(socket);
    socket->release();
    // The socket may be the sender of the event being handled.
    socket->deleteLater();
}

void ProbeSet::timeOutStartedBefore(Clock::TimePoint moment)
{
    // In the order the probes started; a probe's connection goes before its row is written.
    while (!m_open.empty() && m_open.front()->startedAt() <= moment) {
        ProbeSocket *socket = m_open.front();
        const int row = socket->row();
        const Probe &probe = m_probes.at(socket);
        const ProxyResult verdict = probe.search ? probe.search->timedOut() : ProxyResult::failed(ProxyStatus::Timeout);
        const bool checking = m_table.isValidRow(row) && m_table.result(row).status == ProxyStatus::Checking;
        const bool holds = !checking || countForHost(probe, row, verdict);
        release(socket);
        if (checking)
            writeVerdict(row, holds ? verdict : ProxyResult(), holds);
    }
}

void ProbeSet::releaseAll()
{
    clearLookups();
    while (!m_open.empty())
        release(m_open.front());
}

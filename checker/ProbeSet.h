#pragma once

#include "checker/AttemptPolicy.h"
#include "checker/Clock.h"
#include "checker/DeadlineQueue.h"
#include "checker/EchoRotation.h"
#include "checker/ProbeExchange.h"
#include "checker/RetryCounter.h"
#include "checker/SiteCheck.h"
#include "proxylist/ProxyValidator.h"

#include <QHostAddress>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class NameCache;
class ProbeSocket;
class ProxyList;
class SocketWatch;

// The probes under way: one connection per row being checked, each taken through its exchange, and through further
// connections as its attempt policy asks, to its verdict, which is written to the row; then the connection goes. A
// scheduler decides which rows start and when the probes still open are out of time.
class ProbeSet : public QObject
{
    Q_OBJECT

public:
    // clock: what each probe's time is measured by; names: where the proxies' names are looked up.
    ProbeSet(ProxyList &list, const Clock &clock, NameCache &names, QObject *parent = nullptr);
    ~ProbeSet() override;

    // The echo hosts the probes ask in turn. Not changed while probes are open.
    EchoRotation &echoHosts() { return m_echoHosts; }
    const EchoRotation &echoHosts() const { return m_echoHosts; }
    NameCache &names() { return m_names; }
    // The protocol of rows without a scheme.
    void setBareProtocol(ProxyAddress::Protocol protocol) { m_bareProtocol = protocol; }
    // Whether the protocol of rows without a scheme is found for each, rather than the one above.
    void setSearchingProtocols(bool searching) { m_searching = searching; }
    // Makes the byte layer of each connection to the site: TLS for an https:// site.
    using SiteLayer = std::function<std::unique_ptr<ByteLayer>()>;
    // The user's site, fetched through each proxy found working once its echo page has come, or none. Not changed
    // while probes are open.
    void setSite(std::optional<SiteCheck> site, SiteLayer layer = {})
    {
        m_site = std::move(site);
        m_siteLayer = std::move(layer);
    }
    const std::optional<SiteCheck> &site() const { return m_site; }
    // A run starts: each row judged "Timeout" or "Error" is tried again up to retries more times.
    void startRun(int retries);
    // Whether the row's verdict just written waits for another probe (retryLater() said so): no verdict yet.
    bool awaitsRetry(int row) const { return m_retries.awaitsRetry(row); }
    // Whether a row of the list speaks SOCKS 4, or may, which needs the echo host's address.
    bool hasSocks4Rows() const;

    // Starts probing the row, which reads "Checking...". False when this machine has no socket to give: the row is
    // untested again, and shortage() says what ran out.
    bool start(int row);
    // Every probe still open that started at or before the moment gets "Timeout" and goes.
    void timeOutStartedBefore(Clock::TimePoint moment);
    void timeOutAll() { timeOutStartedBefore(Clock::TimePoint::max()); }
    // Every probe goes, without a verdict, and the names looked up and the sockets kept for reuse are forgotten.
    void releaseAll();
    int openCount() const { return m_open.size(); }
    // When the probe next out of time started; only while one is open.
    Clock::TimePoint oldestStart() const { return m_open.firstTime(); }
    // The connection under way for the row, if any.
    const ProbeSocket *socketOf(int row) const;
    // What this machine ran out of, in the system's words; empty when nothing did.
    const QString &shortage() const { return m_shortage; }
    void clearShortage() { m_shortage.clear(); }

    // A host's probes failed so often since its last working one that it may have stopped answering: the run asks
    // it directly whether it still does (hostSuspected()), then says what it found.
    void hostAnswers(size_t host) { m_echoHosts.answers(host); }
    // It does not: it takes no more probes, and every row it failed since it last gave a page is untested again,
    // as is every row of a probe to it still open once that ends. Those rows are returned.
    std::vector<int> dropHost(size_t host) { return m_echoHosts.drop(host); }

Q_SIGNALS:
    // A probe's verdict has been written to the row: what the history of checks keeps. judged() follows.
    void verdictWritten(int row, const RowVerdict &verdict);
    // The row's verdict has been written.
    void judged(int row);
    // See hostAnswers().
    void hostSuspected(size_t host);
    // A probe through a host found dead ended: its row is untested again, and judged() follows.
    void returned(int row);
    // The row failed and has retries left: it keeps its verdict until it goes out again, and judged() follows.
    void retryLater(int row);

private:
    struct Probe;

    // Where the proxy's name led, or nothing when it was not found.
    void onNameFound(quint64 lookUp, QList<QHostAddress> addresses);
    // Starts the probe's connection to the address, on a new socket; false, with the probe gone and its row
    // untested, when this machine has no socket.
    bool connectProbe(Probe &probe, const QHostAddress &address);
    // The connection's events, as its exchange reads them.
    void onConnected(Probe &probe);
    void onDataArrived(Probe &probe);
    void onClosed(Probe &probe);
    void onFailed(Probe &probe);
    // The connection ended with the verdict, or gave one: the next connection takes its place, or the verdict is
    // the row's.
    void onAttemptEnded(Probe &probe, RowVerdict verdict);
    // A new connection in the protocol for the row, in the place of the old among the open; false when the row
    // cannot be read in it.
    bool tryAgain(Probe &probe, ProxyAddress::Protocol protocol);
    // The proxy is working: a new connection through it fetches the site, timed from its own start, at the end of
    // the open. False when there is no site to fetch.
    bool fetchSite(Probe &probe, const RowVerdict &echoVerdict);
    // The site's connection ended with the verdict, or gave one: the row's verdict is its echo verdict with it.
    void onSiteEnded(Probe &probe, const RowVerdict &verdict);
    std::unique_ptr<ProbeExchange> exchangeFor(const Probe &probe) const;
    // The verdict with the echo host asked and the address the proxy's name led to, when it names its host and the
    // name was looked up.
    RowVerdict probedAt(const Probe &probe, RowVerdict verdict) const;
    // Counts the verdict against the probe's echo host; false when the host was found dead, and the row is
    // untested again instead.
    bool countForHost(const Probe &probe, int row, const ProxyResult &result);
    // The probe's connection goes, and its exchange with it.
    void dropConnection(Probe &probe);
    // The probe goes, at once: its connection and its place among the open.
    void end(Probe &probe);
    // Writes the row's verdict, or, when it does not hold, leaves the row untested and says it was returned.
    void write(int row, RowVerdict verdict, bool holds);
    // Deletes the sockets let go since the event loop's last turn: one may have been telling of an event then.
    void deleteSpentSockets();

    ProxyList &m_list;
    const Clock &m_clock;
    NameCache &m_names;
    ProxyValidator m_validator;
    EchoRotation m_echoHosts;
    RetryCounter m_retries;
    ProxyAddress::Protocol m_bareProtocol = ProxyAddress::Protocol::Http;
    bool m_searching = false;
    std::optional<SiteCheck> m_site;
    SiteLayer m_siteLayer;
    // The probes under way, owned here, in the order they are out of time.
    DeadlineQueue<std::unique_ptr<Probe>> m_open;
    // The probes waiting for their proxy's name, by the number of their look-up.
    std::unordered_map<quint64, Probe *> m_lookingUp;
    quint64 m_lastLookUp = 0;
    std::vector<std::unique_ptr<ProbeSocket>> m_spentSockets;
    QString m_shortage;
    // Shared by every probe's connection: the event loop watches one descriptor for them all.
    std::shared_ptr<SocketWatch> m_watch;
};

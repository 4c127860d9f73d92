#pragma once

#include "checker/Clock.h"
#include "checker/EchoHost.h"
#include "checker/ProbeExchange.h"
#include "checker/ProtocolSearch.h"
#include "proxylist/ProxyValidator.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class ProxyList;

// The probes under way: one connection per row being checked, each taken through its exchange to its verdict,
// which is written to the row; then the connection goes. A scheduler decides which rows start and when the probes
// still open are out of time.
class ProbeSet : public QObject
{
    Q_OBJECT

public:
    // clock: what each probe's time is measured by.
    ProbeSet(ProxyList &table, const Clock &clock, QObject *parent = nullptr);
    ~ProbeSet() override;

    // The echo hosts the probes may ask for their page; the default host alone unless told otherwise. Not while
    // probes are open.
    std::vector<EchoHost> &echoHosts() { return m_echoHosts; }
    void setEchoHosts(std::vector<EchoHost> hosts);
    // The hosts that take the probes in turn, one probe each, by their place in echoHosts(); all of them unless
    // told otherwise. Not while probes are open.
    void setHostsInTurn(std::vector<size_t> hosts);
    void useAllHosts();
    const std::vector<size_t> &hostsInTurn() const { return m_inTurn; }
    // The address a host showed when asked directly: the user's own as that host sees it, which a proxy must hide
    // from it. Hosts not asked have none: a proxy is then anonymous when its page shows the proxy's own address.
    void setYourAddress(size_t host, const QHostAddress &address) { m_hosts.at(host).yourAddress = address; }
    void forgetYourAddresses();
    // The protocol of rows without a scheme.
    void setBareProtocol(ProxyAddress::Protocol protocol) { m_bareProtocol = protocol; }
    // Whether the protocol of rows without a scheme is found for each, rather than the one above.
    void setSearchingProtocols(bool searching) { m_searching = searching; }
    // Whether a row of the table speaks SOCKS 4, or may, which needs the echo host's address.
    bool hasSocks4Rows() const;

    // Starts probing the row, which reads "Checking...". False when this machine has no socket to give: the row is
    // untested again, and shortage() says what ran out.
    bool start(int row);
    // Every probe still open that started at or before the moment gets "Timeout" and goes.
    void timeOutStartedBefore(Clock::TimePoint moment);
    void timeOutAll() { timeOutStartedBefore(Clock::TimePoint::max()); }
    // Every probe goes, without a verdict, and the names looked up are forgotten.
    void releaseAll();
    // A new run looks names up afresh.
    void clearLookups();
    int openCount() const { return int(m_open.size()); }
    // The probes under way, in the order they started.
    const std::vector<ProbeSocket *> &open() const { return m_open; }
    // What this machine ran out of, in the system's words; empty when nothing did.
    const QString &shortage() const { return m_shortage; }
    void clearShortage() { m_shortage.clear(); }

    // A host's probes failed so often since its last working one that it may have stopped answering: the run asks
    // it directly whether it still does (hostSuspected()), then says what it found.
    void hostAnswers(size_t host);
    // It does not: it takes no more probes, and every row it failed since it last gave a page is untested again,
    // as is every row of a probe to it still open once that ends. Those rows are returned.
    std::vector<int> dropHost(size_t host);

Q_SIGNALS:
    // The row's verdict has been written.
    void judged(int row);
    // See hostAnswers().
    void hostSuspected(size_t host);
    // A probe through a host found dead ended: its row is untested again, and judged() follows.
    void returned(int row);

private:
    // One row's probe: the exchange of its connection, and where a search for its protocol stands.
    struct Probe
    {
        // The echo host it asks, by its place in echoHosts().
        size_t host = 0;
        ProbeExchange exchange;
        std::optional<ProtocolSearch> search;
        // When the connection started: a search's later connection is timed from its own start, its row's time
        // out from the first's.
        Clock::TimePoint startedAt;
    };

    // A host name and the probes that wait for its addresses; looked up once per run.
    struct NameLookup
    {
        bool asked = false;
        bool answered = false;
        QList<QHostAddress> addresses;
        std::vector<std::pair<QPointer<ProbeSocket>, quint16>> waiting;
    };

    // Starts connecting; false, with the probe let go and its row untested, when this machine has no socket.
    bool connectProbe(ProbeSocket *socket, const QHostAddress &address, quint16 port);
    void lookUp(ProbeSocket *socket, const QString &name, quint16 port);
    void answerWaiting(NameLookup &lookup);
    void connectEvents(ProbeSocket *socket);
    // The connection of a row searched for its protocol ended: the search's next connection takes its place, or
    // false when the row has its verdict.
    bool searchOn(ProbeSocket *socket, ProxyResult &result);
    // How an echo host has done in this run.
    struct HostRecord
    {
        std::optional<QHostAddress> yourAddress;
        // The rows whose proxies took the connection and failed, since the host's last working probe.
        std::vector<int> failedRows;
        bool suspected = false;
        bool dead = false;
    };

    // The host the next probe asks, by its place.
    size_t nextHost();
    // Counts the verdict against the probe's echo host; false when the host was found dead, and the row is
    // untested again instead.
    bool countForHost(const Probe &probe, int row, const ProxyResult &result);
    // Lets the connection go, then writes the verdict to the row it probed; a working proxy's with its time and the
    // address its page showed.
    void finish(ProbeSocket *socket, ProxyResult result);
    void finishIf(ProbeSocket *socket, const std::optional<ProxyResult> &result);
    // Writes the row's verdict, or, when it does not hold, leaves the row untested and says it was returned.
    void writeVerdict(int row, const ProxyResult &result, bool holds, const QString &exitAddress = {});
    void release(ProbeSocket *socket);
    // The connection and its probe go; the caller sees to its place among the open.
    void letGo(ProbeSocket *socket);

    ProxyList &m_table;
    const Clock &m_clock;
    ProxyValidator m_validator;
    std::vector<EchoHost> m_echoHosts{*EchoHost::parse(EchoHost::Default)};
    std::vector<size_t> m_inTurn{0};
    size_t m_turn = 0;
    std::vector<HostRecord> m_hosts{1};
    ProxyAddress::Protocol m_bareProtocol = ProxyAddress::Protocol::Http;
    bool m_searching = false;
    // In the order their rows started.
    std::vector<ProbeSocket *> m_open;
    std::unordered_map<const ProbeSocket *, Probe> m_probes;
    QString m_shortage;
    std::unordered_map<QString, NameLookup> m_lookups;
    // The receiver of the look-ups' answers: gone with it, an answer that comes later is dropped.
    std::unique_ptr<QObject> m_lookupContext;
};

#pragma once

#include "checker/EchoHost.h"
#include "checker/ProbeExchange.h"
#include "checker/ProtocolSearch.h"
#include "proxylist/ProxyValidator.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

#include <limits>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class Clock;
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
    // The addresses the echo hosts showed when asked directly: the user's own, which a proxy must hide. Without
    // them, a proxy is anonymous when its page shows the proxy's own host.
    void setYourAddresses(std::optional<std::vector<QHostAddress>> addresses)
    {
        m_yourAddresses = std::move(addresses);
    }
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
    void timeOutStartedBefore(qint64 ms);
    void timeOutAll() { timeOutStartedBefore(std::numeric_limits<qint64>::max()); }
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

Q_SIGNALS:
    // The row's verdict has been written.
    void judged(int row);

private:
    // One row's probe: the exchange of its connection, and where a search for its protocol stands.
    struct Probe
    {
        ProbeExchange exchange;
        std::optional<ProtocolSearch> search;
        // When the connection started: a search's later connection is timed from its own start, its row's time
        // out from the first's.
        qint64 startedMs = 0;
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
    // The host the next probe asks.
    const EchoHost &nextHost();
    // Lets the connection go, then writes the verdict to the row it probed; a working proxy's with its time and the
    // address its page showed.
    void finish(ProbeSocket *socket, ProxyResult result);
    void finishIf(ProbeSocket *socket, const std::optional<ProxyResult> &result);
    void release(ProbeSocket *socket);
    // The connection and its probe go; the caller sees to its place among the open.
    void letGo(ProbeSocket *socket);
    const std::vector<QHostAddress> *yourAddresses() const { return m_yourAddresses ? &*m_yourAddresses : nullptr; }

    ProxyList &m_table;
    const Clock &m_clock;
    ProxyValidator m_validator;
    std::vector<EchoHost> m_echoHosts{*EchoHost::parse(EchoHost::Default)};
    std::vector<size_t> m_inTurn{0};
    size_t m_turn = 0;
    std::optional<std::vector<QHostAddress>> m_yourAddresses;
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

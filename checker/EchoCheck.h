#pragma once

#include "checker/EchoHost.h"
#include "checker/ProbeSocket.h"

#include <QByteArrayList>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class NameCache;
class ProbeExchange;
struct RowVerdict;

// Asks echo hosts for their page directly, without a proxy, with the request a tunnel sends: whether each answers
// with a page that shows an address, and that address, which is the user's own as the host sees it. The hosts are
// asked all at once, within one timeout, each by a probe's exchange with no proxy in between; start() returns at
// once and finished() follows.
class EchoCheck : public QObject, private ProbeSocket::Listener
{
    Q_OBJECT

public:
    // What one host answered: the address its page showed, or why it failed, in words for the user; whether it is
    // a Korvane echo host, and the origin headers it returned ("Name: value"): asked directly, a header there was
    // put in by something between this computer and the host, not by a proxy.
    struct Answer
    {
        std::optional<QHostAddress> yourAddress;
        QString failure;
        bool korvane = false;
        QByteArrayList originHeaders;
    };

    // names: where the hosts' names are looked up.
    explicit EchoCheck(NameCache &names, QObject *parent = nullptr);
    ~EchoCheck() override;

    // Asks each host; a host named by a name that is found gets its IPv4 address, for SOCKS 4, as a run's look-up
    // would give it, and a host that answers gets the key its page offered, or none. The hosts must outlive the check.
    // finished() follows unless stop() comes first.
    void start(std::vector<EchoHost> &hosts, std::chrono::milliseconds timeout);
    // Every question goes, unanswered; finished() does not follow.
    void stop();
    bool isRunning() const { return m_pending > 0; }
    // One answer per host, in the order given; complete once finished() has gone out.
    const std::vector<Answer> &answers() const { return m_answers; }
    // Whether any host answered with an address.
    bool anyAnswered() const;

Q_SIGNALS:
    void finished();

private:
    struct Asking
    {
        // Kept, released, until the next check: it may be telling of an event when its host is settled.
        std::unique_ptr<ProbeSocket> socket;
        std::unique_ptr<ProbeExchange> exchange;
        bool settled = false;
    };

    void connected(ProbeSocket &socket) override;
    void dataArrived(ProbeSocket &socket) override;
    void closed(ProbeSocket &socket) override;
    void failed(ProbeSocket &socket) override;
    // The step the socket's event is for, taken by the socket's exchange: a verdict ends the question.
    template <typename Step> void hear(const ProbeSocket &socket, Step step);

    void lookUp(size_t index);
    void connectTo(size_t index, const QHostAddress &address);
    // The exchange's verdict: the page that came, or why none did.
    void onVerdict(size_t index, const RowVerdict &verdict);
    void settle(size_t index, const Answer &answer);
    void fail(size_t index, const QString &why);
    void settleFromAnswer(size_t index);
    void onTimeout();
    void drop(size_t index);
    // finished() goes out, from the event loop: never from inside start().
    void finish();

    NameCache &m_names;
    std::vector<EchoHost> *m_hosts = nullptr;
    std::vector<Answer> m_answers;
    std::vector<Asking> m_asking;
    int m_pending = 0;
    QTimer m_timer;
    // Counts start() and stop(): a finish posted for an earlier check is dropped.
    quint64 m_generation = 0;
};

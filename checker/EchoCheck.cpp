#include "checker/EchoCheck.h"

#include "checker/DirectHandshake.h"
#include "checker/DirectPageJudgement.h"
#include "checker/NameCache.h"
#include "checker/ProbeExchange.h"
#include "checker/ProbeSocket.h"

#include <algorithm>
#include <cerrno>
#include <utility>

EchoCheck::EchoCheck(NameCache &names, QObject *parent) : QObject(parent), m_names(names)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &EchoCheck::onTimeout);
}

EchoCheck::~EchoCheck()
{
    stop();
}

void EchoCheck::start(std::vector<EchoHost> &hosts, std::chrono::milliseconds timeout)
{
    stop();
    m_hosts = &hosts;
    m_answers.assign(hosts.size(), Answer());
    m_asking.clear();
    m_asking.resize(hosts.size());
    m_pending = int(hosts.size());
    if (m_pending == 0)
        return finish();
    m_timer.start(timeout);
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (const std::optional<quint32> address = hosts[i].isAddress() ? hosts[i].address() : std::nullopt)
            connectTo(i, QHostAddress(*address));
        else
            lookUp(i);
    }
}

void EchoCheck::lookUp(size_t index)
{
    m_names.lookUp((*m_hosts)[index].name(), this,
                   [this, index, generation = m_generation](const QList<QHostAddress> &found) {
                       // An answer for an earlier check, or for a host the timeout gave up on.
                       if (generation != m_generation || m_asking[index].settled)
                           return;
                       if (found.isEmpty())
                           return fail(index, tr("the name was not found"));
                       (*m_hosts)[index].setAddressFrom(found);
                       connectTo(index, found.first());
                   });
}

void EchoCheck::connectTo(size_t index, const QHostAddress &address)
{
    const EchoHost &host = (*m_hosts)[index];
    Asking &asking = m_asking[index];
    asking.exchange = std::make_unique<ProbeExchange>(std::make_unique<DirectHandshake>(),
                                                      std::make_unique<DirectPageJudgement>(host));
    asking.socket = std::make_unique<ProbeSocket>(static_cast<ProbeSocket::Listener &>(*this));
    if (const int shortage = asking.socket->connectTo(address, host.port()))
        fail(index, qt_error_string(shortage));
}

template <typename Step> void EchoCheck::hear(const ProbeSocket &socket, Step step)
{
    const auto asking = std::find_if(m_asking.begin(), m_asking.end(),
                                     [&socket](const Asking &asking) { return asking.socket.get() == &socket; });
    if (const std::optional<RowVerdict> verdict = step(*asking->exchange))
        onVerdict(size_t(asking - m_asking.begin()), *verdict);
}

void EchoCheck::connected(ProbeSocket &socket)
{
    hear(socket, [&socket](ProbeExchange &exchange) { return exchange.onConnected(socket); });
}

void EchoCheck::dataArrived(ProbeSocket &socket)
{
    hear(socket, [&socket](ProbeExchange &exchange) { return exchange.onData(socket); });
}

void EchoCheck::closed(ProbeSocket &socket)
{
    hear(socket, [&socket](ProbeExchange &exchange) { return std::optional(exchange.onClosed(socket)); });
}

void EchoCheck::failed(ProbeSocket &socket)
{
    hear(socket, [&socket](ProbeExchange &exchange) { return std::optional(exchange.onFailed(socket)); });
}

void EchoCheck::onVerdict(size_t index, const RowVerdict &verdict)
{
    // A request that did not go out leaves the socket without an error: the host is judged by what it sent.
    const int error = m_asking[index].socket->error();
    if (verdict.result.status != ProxyStatus::Error || error == 0)
        return settleFromAnswer(index);
    fail(index, error == ECONNREFUSED ? tr("the connection was refused") : qt_error_string(error));
}

void EchoCheck::settleFromAnswer(size_t index)
{
    const DirectPageJudgement::Page page = DirectPageJudgement::read(m_asking[index].exchange->answer());
    const std::optional<EchoPage::Extras> &extras = page.extras;
    // Asked directly, no proxy has seen the key: the host signs with it what the probes' proxies cannot.
    (*m_hosts)[index].setKey(extras ? extras->key : std::nullopt);
    settle(index, {page.yourAddress, page.yourAddress ? QString() : tr("the page shows no address"), extras.has_value(),
                   extras ? extras->headers : QByteArrayList()});
}

void EchoCheck::settle(size_t index, const Answer &answer)
{
    if (std::exchange(m_asking[index].settled, true))
        return;
    m_answers[index] = answer;
    drop(index);
    if (--m_pending == 0)
        finish();
}

void EchoCheck::finish()
{
    m_timer.stop();
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation] {
            if (generation == m_generation)
                Q_EMIT finished();
        },
        Qt::QueuedConnection);
}

void EchoCheck::fail(size_t index, const QString &why)
{
    settle(index, {std::nullopt, why, false, {}});
}

void EchoCheck::onTimeout()
{
    for (size_t i = 0; i < m_asking.size() && m_pending > 0; ++i) {
        if (!m_asking[i].settled)
            fail(i, tr("no answer within the timeout"));
    }
}

void EchoCheck::drop(size_t index)
{
    Asking &asking = m_asking[index];
    if (asking.socket)
        asking.socket->release();
    asking.exchange.reset();
}

void EchoCheck::stop()
{
    ++m_generation;
    m_timer.stop();
    for (size_t i = 0; i < m_asking.size(); ++i)
        drop(i);
    m_pending = 0;
}

bool EchoCheck::anyAnswered() const
{
    return std::any_of(m_answers.begin(), m_answers.end(), [](const Answer &answer) { return answer.yourAddress; });
}

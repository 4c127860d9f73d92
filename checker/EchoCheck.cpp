#include "checker/EchoCheck.h"

#include "checker/EchoPage.h"
#include "checker/ProbeExchange.h"
#include "checker/ProbeSocket.h"

#include <QHostInfo>

#include <algorithm>
#include <cerrno>
#include <utility>

EchoCheck::EchoCheck(QObject *parent) : QObject(parent)
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
    m_asking[index].lookup = std::make_unique<QObject>();
    QHostInfo::lookupHost((*m_hosts)[index].name(), m_asking[index].lookup.get(), [this, index](const QHostInfo &info) {
        // The receiver may be the sender of the answer being handled.
        m_asking[index].lookup.release()->deleteLater();
        const QList<QHostAddress> found = info.addresses();
        if (found.isEmpty())
            return fail(index, tr("the name was not found"));
        (*m_hosts)[index].setAddressFrom(found);
        connectTo(index, found.first());
    });
}

void EchoCheck::connectTo(size_t index, const QHostAddress &address)
{
    auto *socket = new ProbeSocket(this);
    m_asking[index].socket = socket;
    if (const int shortage = socket->connectTo(address, (*m_hosts)[index].port()))
        return fail(index, qt_error_string(shortage));
    connect(socket, &ProbeSocket::connected, this, [this, index, socket] {
        if (!socket->send((*m_hosts)[index].directRequest()))
            settleFromAnswer(index);
    });
    connect(socket, &ProbeSocket::dataArrived, this, [this, index] { onData(index); });
    connect(socket, &ProbeSocket::closed, this, [this, index] { settleFromAnswer(index); });
    connect(socket, &ProbeSocket::failed, this, [this, index, socket] {
        if (ProbeExchange::holdsCompletePage(socket->answer()))
            return settleFromAnswer(index);
        fail(index,
             socket->error() == ECONNREFUSED ? tr("the connection was refused") : qt_error_string(socket->error()));
    });
}

void EchoCheck::onData(size_t index)
{
    const QByteArray &answer = m_asking[index].socket->answer();
    // A host that never stops talking has said all it will once an answer's keep is full.
    if (ProbeExchange::holdsCompletePage(answer) || answer.size() >= ProbeSocket::MaxAnswerBytes)
        settleFromAnswer(index);
}

void EchoCheck::settleFromAnswer(size_t index)
{
    const QByteArray &answer = m_asking[index].socket->answer();
    const std::optional<QString> shown = EchoPage::shownText(answer);
    const std::optional<QHostAddress> address = shown ? EchoPage::addressIn(*shown) : std::nullopt;
    const std::optional<EchoPage::Extras> extras = address ? EchoPage::extrasIn(answer) : std::nullopt;
    // Asked directly, no proxy has seen the key: the host signs with it what the probes' proxies cannot.
    (*m_hosts)[index].setKey(extras ? extras->key : std::nullopt);
    settle(index, {address, address ? QString() : tr("the page shows no address"), extras.has_value(),
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
    asking.lookup.reset();
    if (asking.socket) {
        asking.socket->release();
        // It may be the sender of the signal being handled.
        asking.socket->deleteLater();
        asking.socket = nullptr;
    }
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

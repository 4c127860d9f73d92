#include "SocketSlot.h"

#include <QNetworkProxy>

#include <cerrno>
#include <sys/socket.h>
#include <utility>

namespace {
constexpr qint64 RearmChunk = qint64(64) << 10;
} // namespace

SocketSlot::SocketSlot(QObject *owner) : m_socket(new QTcpSocket(owner))
{
    // The proxy itself is what is being tested: never go through another one.
    m_socket->setProxy(QNetworkProxy::NoProxy);
}

SocketSlot::~SocketSlot()
{
    release();
}

void SocketSlot::release()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    // Signals first: abort() reports the state change, and nobody may hear from this slot any more.
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}

void SocketSlot::Connect()
{
    m_socket->connectToHost(m_remoteHost, m_remotePort, QIODevice::ReadWrite | QIODevice::Unbuffered);
}

bool SocketSlot::SendData(const QByteArray &data)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    return m_socket->write(data) == data.size();
}

QByteArray SocketSlot::GetData(qint64 maxBytes)
{
    QByteArray data = std::exchange(m_early, {});
    if (maxBytes > data.size() && m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        data += m_socket->read(maxBytes - data.size());
    return data;
}

qint64 SocketSlot::bytesAvailable() const
{
    return m_early.size() + (m_socket ? m_socket->bytesAvailable() : 0);
}

void SocketSlot::Close()
{
    release();
}

SocketSlot::Arrival SocketSlot::peekArrival() const
{
    if (!m_early.isEmpty())
        return Arrival::Data;
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return Arrival::Failed;
    char byte = 0;
    ssize_t got = 0;
    do {
        got = ::recv(int(m_socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got > 0)
        return Arrival::Data;
    if (got == 0)
        return Arrival::Closed;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? Arrival::Nothing : Arrival::Failed;
}

bool SocketSlot::rearm()
{
    if (!m_socket)
        return false;
    m_early += m_socket->read(RearmChunk);
    // A close or reset that slipped in between the peek and this read cannot be told apart any more; it counts
    // as a broken connection rather than a complete answer.
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

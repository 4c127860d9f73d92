#include "tests/common/FakeProxy.h"

#include "checker/ProbeExchange.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

const QString FakeProxy::OtherAddress = QStringLiteral("127.0.0.44");

namespace {
constexpr qint64 StreamChunk = 64 * 1024;
// Far beyond what an answer may keep, yet bounded.
constexpr qint64 StreamLimit = 64 * 1024 * 1024;
const QByteArray Filler(2 * 1024 * 1024, 'x');
const QByteArray Head = "HTTP/1.0 200 OK\r\n\r\n<html><body>";
const QByteArray Marker = "Current IP Address: ";
const QByteArray Tail = "</body></html>\r\n";

// Head, padding, then text: as much padding as puts the text's last byte at position end of the answer.
QByteArray padded(const QByteArray &text, qsizetype end)
{
    return Head + QByteArray(end - Head.size() - text.size(), 'x') + text;
}
} // namespace

FakeProxy::FakeProxy(Behaviour behaviour, const QHostAddress &address) : m_behaviour(behaviour)
{
    // Room for a whole batch of connections arriving at once.
    m_server.setListenBacklogSize(1024);
    m_server.listen(address, 0);
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
}

QString FakeProxy::row() const
{
    return m_server.serverAddress().toString() + u':' + QString::number(port());
}

QByteArray FakeProxy::echoPage(const QString &address)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head><title>Current IP Check</title></head>"
           "<body>Current IP Address: " +
           address.toLatin1() + "</body></html>\r\n";
}

quint16 FakeProxy::refusedPort(const QHostAddress &address)
{
    QTcpServer probe;
    probe.listen(address, 0);
    return probe.serverPort();
}

void FakeProxy::reset(QTcpSocket *peer)
{
    const linger now{1, 0};
    ::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    peer->abort();
}

void FakeProxy::accept()
{
    while (QTcpSocket *peer = m_server.nextPendingConnection()) {
        QObject::connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
        auto received = std::make_shared<QByteArray>();
        QObject::connect(peer, &QTcpSocket::readyRead, peer, [this, peer, received] {
            const bool complete = received->contains("\r\n\r\n");
            received->append(peer->readAll());
            if (!complete && received->contains("\r\n\r\n")) {
                m_requests.append(*received);
                answer(peer);
            }
        });
    }
}

void FakeProxy::answer(QTcpSocket *peer)
{
    const QString own = peer->localAddress().toString();
    const QByteArray ownPage = echoPage(own);
    constexpr qsizetype Keep = ProbeExchange::MaxAnswerBytes;
    switch (m_behaviour) {
    case EchoOwnAddress:
        peer->write(ownPage);
        break;
    case EchoOtherAddress:
        peer->write(echoPage(OtherAddress));
        break;
    case EchoSplit: {
        const qsizetype cut = ownPage.indexOf("IP Add");
        peer->write(ownPage.first(cut));
        QTimer::singleShot(50, peer, [peer, rest = ownPage.sliced(cut)] {
            peer->write(rest);
            peer->disconnectFromHost();
        });
        return;
    }
    case NoMarker:
        peer->write("HTTP/1.0 403 Forbidden\r\n\r\n<html><body>Access denied</body></html>\r\n");
        break;
    case CloseEmpty:
        break;
    case Silent:
        return;
    case PartialThenSilent:
        peer->write(ownPage.first(ownPage.indexOf("Address")));
        return;
    case Reset:
        reset(peer);
        return;
    case ResetAfterPage:
        peer->write(ownPage);
        peer->flush();
        reset(peer);
        return;
    case EndlessStream:
        QObject::connect(peer, &QTcpSocket::bytesWritten, peer, [this, peer] { stream(peer); });
        stream(peer);
        return;
    case OversizedPage:
        peer->write(padded(Marker + own.toLatin1(), Keep) + Tail + Filler);
        break;
    case LateMarker:
        peer->write(padded(Marker, Keep + 1) + own.toLatin1() + Tail);
        break;
    case EchoCorked:
        if (m_answered++ % 2 == 0) {
            // Held back until the shutdown, which then goes out with the page as its last segment's FIN.
            const int fd = int(peer->socketDescriptor());
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
            peer->write(ownPage);
            peer->flush();
            ::shutdown(fd, SHUT_WR);
        } else {
            peer->write(ownPage);
        }
        break;
    }
    peer->disconnectFromHost();
}

void FakeProxy::stream(QTcpSocket *peer)
{
    static const QByteArray chunk(StreamChunk, 'z');
    auto sent = peer->property("sent").toLongLong();
    while (peer->bytesToWrite() < 4 * StreamChunk && sent < StreamLimit) {
        peer->write(chunk);
        sent += StreamChunk;
    }
    peer->setProperty("sent", sent);
}

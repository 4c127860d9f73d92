#include "tests/common/FakeProxy.h"

#include "checker/EchoPage.h"
#include "checker/ProbeSocket.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Reads one request byte by byte, not through Qt, which would read it all: the third CR LF left, the close resets.
void readOneRequest(QTcpSocket *peer)
{
    const int fd = ::dup(int(peer->socketDescriptor()));
    const QByteArray page = EchoPage::page(peer->localAddress().toString().toLatin1());
    peer->abort();
    auto *readable = new QSocketNotifier(fd, QSocketNotifier::Read, peer->parent());
    QObject::connect(readable, &QSocketNotifier::activated, readable, [=, request = QByteArray()]() mutable {
        char byte = 0;
        while (!request.endsWith("\r\n\r\n") && ::recv(fd, &byte, 1, MSG_DONTWAIT) == 1)
            request += byte;
        if (!request.endsWith("\r\n\r\n"))
            return;
        readable->deleteLater();
        readable->setEnabled(false);
        ::send(fd, page.constData(), size_t(page.size()), MSG_NOSIGNAL);
        ::close(fd);
    });
}

// The tunnels' side of a conversation: every piece the client sends gets the answer its place calls for.
void tunnel(QTcpSocket *peer, FakeProxy::Behaviour behaviour, QList<QByteArray> &requests)
{
    QObject::connect(peer, &QTcpSocket::readyRead, peer, [=, &requests, received = QByteArray(), step = 0]() mutable {
        received += peer->readAll();
        switch (behaviour) {
        case FakeProxy::Socks4Echo:
            // A request: 8 bytes, the user id and a NUL, and after an address of 0.0.0.x (x not 0) a name and a NUL.
            if (step == 0 && received.size() > 8 &&
                received.sliced(8).count('\0') >=
                    (received.sliced(4, 3) == QByteArray(3, 0) && received[7] != 0 ? 2 : 1)) {
                requests.append(std::exchange(received, {}));
                peer->write(QByteArray("\0\x5a\0\0\0\0\0\0", 8));
                step = 1;
            } else if (step == 1 && received.contains("\r\n\r\n")) {
                peer->write(EchoPage::page(peer->localAddress().toString().toLatin1()));
                peer->disconnectFromHost();
            }
            return;
        case FakeProxy::Socks5CutShort:
            peer->write("\x05");
            peer->disconnectFromHost();
            return;
        case FakeProxy::EchoesBack:
        case FakeProxy::ClosesSilently:
            if (step++ > 0)
                return;
            if (behaviour == FakeProxy::EchoesBack)
                peer->write(received);
            else
                requests.append(received);
            peer->disconnectFromHost();
            return;
        default:
            peer->write("HTTP/1.1 200 Connection established\r\n" +
                        QByteArray("X-Pad: ").repeated(ProbeSocket::MaxAnswerBytes / 4));
            return;
        }
    });
}

void answer(QTcpSocket *peer, FakeProxy::Behaviour behaviour)
{
    constexpr qsizetype Keep = ProbeSocket::MaxAnswerBytes;
    const QByteArray page = EchoPage::page(peer->localAddress().toString().toLatin1());
    // Padding before the start marker that moves the byte at index from to index to.
    const auto padded = [&page](qsizetype from, qsizetype to) {
        return QByteArray(page).insert(page.indexOf("Current IP"), QByteArray(to - from, 'x'));
    };
    const int fd = int(peer->socketDescriptor());
    switch (behaviour) {
    case FakeProxy::EchoOtherAddress:
        peer->write(EchoPage::page("127.0.0.44"));
        break;
    case FakeProxy::EchoSplit: {
        const qsizetype start = page.indexOf("IP Add"), end = page.indexOf("body></html>");
        peer->write(page.first(start));
        QTimer::singleShot(50, peer, [peer, middle = page.sliced(start, end - start)] { peer->write(middle); });
        QTimer::singleShot(100, peer, [peer, rest = page.sliced(end)] { peer->write(rest); });
        return;
    }
    case FakeProxy::EchoOwnAddress:
    case FakeProxy::SlowAccept:
    case FakeProxy::FailsTwice: {
        // Held back until the shutdown, which then goes out as the FIN of the page's last segment.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
        peer->write(page);
        peer->flush();
        ::shutdown(fd, SHUT_WR);
        break;
    }
    case FakeProxy::AsksCredentials:
        peer->write("HTTP/1.0 407 Proxy Authentication Required\r\n\r\n<html><body>Log in</body></html>\r\n");
        return;
    case FakeProxy::NoMarkers:
        peer->write("HTTP/1.0 200 OK\r\n\r\n<html><body>It works!</body></html>\r\n");
        break;
    case FakeProxy::ResetMidPage:
    case FakeProxy::ResetAfterPage:
        peer->write(behaviour == FakeProxy::ResetAfterPage ? page : page.first(page.indexOf("</body>") - 3));
        peer->flush();
        [[fallthrough]];
    case FakeProxy::Reset: {
        const linger now{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        peer->abort();
        return;
    }
    case FakeProxy::EndlessStream:
        // Far beyond what an answer may keep, yet bounded.
        peer->write(QByteArray(128 * Keep, 'z'));
        return;
    case FakeProxy::OversizedPage:
        peer->write(padded(page.indexOf("</body>"), Keep) + QByteArray(32 * Keep, 'x'));
        break;
    case FakeProxy::LateMarker:
        peer->write(padded(page.indexOf("Address: ") + 9, Keep + 1));
        break;
    default: // Silent, Refused
        return;
    }
    peer->disconnectFromHost();
}

void relay(QTcpSocket *peer, const QByteArray &answer)
{
    if (peer) {
        peer->write(answer);
        peer->disconnectFromHost();
    }
}
} // namespace

void FakeProxy::forward(QTcpSocket *peer, Behaviour behaviour, const QByteArray &request)
{
    if (m_replay)
        return relay(peer, *m_replay);
    if (behaviour == Replays && (m_waiting.append(peer), m_waiting.size() > 1))
        return; // the first request is on its way
    // "GET http://H:P/PATH HTTP/1.0", to loopback only.
    const QUrl url(QString::fromLatin1(request.split(' ').value(1)));
    if (!QHostAddress(url.host()).isLoopback())
        return relay(peer, "HTTP/1.0 502 Bad Gateway\r\n\r\n");
    if (behaviour == Forges) {
        const QString path = url.path();
        return relay(peer, EchoPage::page(m_address.toString().toLatin1()) +
                               EchoPage::extras({path.sliced(path.lastIndexOf(u'/') + 1).toLatin1(), {}}));
    }
    auto *upstream = new QTcpSocket(peer);
    QObject::connect(upstream, &QTcpSocket::disconnected, peer, [=, this] {
        QByteArray answer = upstream->readAll();
        if (behaviour == RelaysOtherAddress)
            answer.replace(QByteArray(m_address.toString().toLatin1() + "</body>"), "127.0.0.44</body>");
        if (const qsizetype header = answer.indexOf("header: X-Forwarded-For"); behaviour == RelaysDroppingHeader)
            answer.remove(header, answer.indexOf('\n', header) + 1 - header);
        if (behaviour != Replays)
            return relay(peer, answer);
        m_replay = answer;
        for (const QPointer<QTcpSocket> &waiting : std::exchange(m_waiting, {}))
            relay(waiting, answer);
    });
    // As a proxy does, a 502 when the server cannot be reached.
    QObject::connect(upstream, &QTcpSocket::errorOccurred, peer, [peer](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::ConnectionRefusedError)
            relay(peer, "HTTP/1.0 502 Bad Gateway\r\n\r\n");
    });
    upstream->bind(m_address, 0);
    upstream->connectToHost(url.host(), quint16(url.port(80)));
    const QByteArray xff = "X-Forwarded-For: " + peer->peerAddress().toString().toLatin1() + "\r\n";
    upstream->write(
        "GET " + url.path(QUrl::FullyEncoded).toLatin1() + " HTTP/1.0\r\nHost: " + url.authority().toLatin1() + "\r\n" +
        (behaviour == ForwardsAddingXff || behaviour == RelaysDroppingHeader ? xff : QByteArray()) + "\r\n");
}

FakeProxy::FakeProxy(Behaviour behaviour, const QHostAddress &address, int delayMs) : m_address(address)
{
    // Bound and never listening, the port refuses connections, and no server of another test takes it meanwhile.
    if (behaviour == Refused) {
        m_bound.bind(address, 0, QAbstractSocket::DontShareAddress);
        m_port = m_bound.localPort();
        return;
    }
    // Room for a whole batch of connections at once; SlowAccept's one place is held 300 ms by a connection of its own.
    m_server.setListenBacklogSize(behaviour == SlowAccept ? 0 : 1024);
    m_server.listen(address, 0);
    m_port = m_server.serverPort();
    if (behaviour == SlowAccept) {
        m_server.pauseAccepting();
        m_bound.connectToHost(address, m_port);
        m_bound.waitForConnected(1000);
        QTimer::singleShot(300, &m_server, &QTcpServer::resumeAccepting);
    }
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this, behaviour, delayMs] {
        while (QTcpSocket *peer = m_server.nextPendingConnection()) {
            if (behaviour == ReadsOneRequest)
                readOneRequest(peer);
            else if (behaviour == AnswersUnread)
                answer(peer, EchoOwnAddress);
            else if (behaviour >= Socks4Echo)
                tunnel(peer, behaviour, m_requests);
            else
                QObject::connect(peer, &QTcpSocket::readyRead, peer, [=, this, received = QByteArray()]() mutable {
                    received += peer->readAll();
                    if (!received.contains("\r\n\r\n"))
                        return;
                    m_requests.append(std::exchange(received, {}));
                    if (behaviour >= ForwardsAddingXff)
                        return forward(peer, behaviour, m_requests.last());
                    const Behaviour now = behaviour != FailsTwice ? behaviour
                                          : ++m_answered % 3      ? Reset
                                                                  : EchoOwnAddress;
                    // Never early: a coarse timer may fire a little before its time.
                    QTimer::singleShot(delayMs, Qt::PreciseTimer, peer, [peer, now] { answer(peer, now); });
                });
        }
    });
}

#include "tests/common/EchoServer.h"

#include "checker/EchoPage.h"

#include <QTcpSocket>

EchoServer::EchoServer()
{
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::newConnection, this, &EchoServer::answer);
}

void EchoServer::answer()
{
    QTcpSocket *peer = nextPendingConnection();
    connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
    connect(peer, &QTcpSocket::readyRead, peer, [this, peer] {
        // A proxy may write the request in pieces: wait for its end, which may span reads.
        if (!peer->peek(peer->bytesAvailable()).contains("\r\n\r\n") || peer->property("answered").toBool())
            return;
        peer->setProperty("answered", true);
        m_seen.append(peer->peerAddress().toString());
        peer->write(EchoPage::page(m_seen.last().toLatin1()));
        peer->disconnectFromHost();
    });
}

#pragma once

#include "checker/EchoPage.h"

#include <QTcpServer>
#include <QTcpSocket>

// The IP-echo page on loopback, for real proxies to fetch: it shows the address each request came from.
class EchoServer : public QTcpServer
{
public:
    EchoServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *peer = nextPendingConnection();
            connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QTcpSocket::readyRead, peer, [this, peer] {
                // A proxy may write the request in pieces: wait for its end, which may span reads. As a server of
                // many names would, it answers only a request whose Host header names it.
                const QByteArray request = peer->peek(peer->bytesAvailable());
                if (!request.contains("\r\n\r\n") ||
                    !request.contains(QByteArray("\r\nHost: " + host().toLatin1() + "\r\n")) ||
                    peer->property("answered").toBool())
                    return;
                peer->setProperty("answered", true);
                peer->write(EchoPage::page(peer->peerAddress().toString().toLatin1()));
                peer->disconnectFromHost();
            });
        });
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }
};

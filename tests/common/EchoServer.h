#pragma once

#include "checker/EchoPage.h"

#include <QTcpServer>
#include <QTcpSocket>

// The IP-echo page on loopback, for real proxies to fetch: it shows the address each request came from. As a Korvane
// echo host, it adds the token of the request's path, and no header. Once, it stops listening after its first page:
// an echo host that dies during a run.
class EchoServer : public QTcpServer
{
public:
    explicit EchoServer(bool korvane = false, bool once = false)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this, korvane, once] {
            QTcpSocket *peer = nextPendingConnection();
            connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QTcpSocket::readyRead, peer, [this, peer, korvane, once] {
                // A proxy may write the request in pieces: wait for its end, which may span reads. As a server of
                // many names would, it answers only a request whose Host header names it.
                const QByteArray request = peer->peek(peer->bytesAvailable());
                if (!request.contains("\r\n\r\n") ||
                    !request.contains(QByteArray("\r\nHost: " + host().toLatin1() + "\r\n")) ||
                    peer->property("answered").toBool())
                    return;
                peer->setProperty("answered", true);
                const QByteArray path = request.split(' ').value(1);
                peer->write(EchoPage::page(peer->peerAddress().toString().toLatin1()) +
                            (korvane ? EchoPage::extras({path.sliced(path.lastIndexOf('/') + 1), {}}) : QByteArray()));
                peer->disconnectFromHost();
                if (once)
                    close();
            });
        });
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }
};

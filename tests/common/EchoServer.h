#pragma once

#include <QStringList>
#include <QTcpServer>

// The IP-echo page on loopback, for real proxies to fetch: it shows the address each request came from.
class EchoServer : public QTcpServer
{
public:
    EchoServer();

    // What to give the checker as its echo host.
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }
    // The address of each request answered, in order.
    const QStringList &seen() const { return m_seen; }

private:
    void answer();

    QStringList m_seen;
};

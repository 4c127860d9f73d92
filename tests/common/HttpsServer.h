#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>

#include <openssl/ssl.h>

#include <functional>
#include <memory>

// A web server on a loopback port, in the test's own thread and event loop: HTTP/1.1 over TLS with the certificate
// and key given, or in plain text. It answers a GET by its path, then closes:
//   /           200 and the body set
//   /moved      302 to the location set
//   /large      200 and LargeBytes of body
//   /endless    200 and a body that never ends: it streams until the client goes, EndlessMs at most
//   otherwise   404
class HttpsServer
{
public:
    enum Mode {
        Tls,
        Plain,             // the same pages, without TLS
        StallsHandshake,   // accepts, reads, never answers: a handshake that never ends
        InterceptingProxy, // answers "CONNECT host:port" with a 200, then speaks TLS itself, with its own certificate;
                           // a tunnel that does not open with TLS is relayed to host:port as it is
    };
    static constexpr qsizetype LargeBytes = qsizetype(1) << 20;
    static constexpr int EndlessMs = 10'000;

    HttpsServer(Mode mode, const QString &certificateFile, const QString &keyFile);

    // Empty while it serves, else why it cannot: its certificate or key would not load, no port would open.
    const QString &error() const { return m_error; }
    quint16 port() const { return m_server.serverPort(); }
    void setLocation(const QByteArray &location) { m_location = location; }
    // Each request's header section, a CONNECT's among them, as they came.
    const QList<QByteArray> &requests() const { return m_requests; }
    // The name the latest TLS client asked for in its handshake (SNI); empty if it named none.
    const QByteArray &serverName() const { return m_serverName; }
    // The server's side of one more connection, without a socket: it takes the bytes the client sends and gives
    // those that go back.
    std::function<QByteArray(const QByteArray &)> session();

private:
    class Session;
    void serve(QTcpSocket *socket);
    // The client's bytes go on to host:port, and what comes back to the client, until either side closes.
    static void relay(QTcpSocket *client, const QByteArray &hostPort, const QByteArray &first);
    QByteArray page(const QByteArray &path) const;

    Mode m_mode;
    // Before the server: the sessions of its connections go first.
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> m_context;
    QTcpServer m_server;
    QString m_error;
    QByteArray m_body = "Hello over TLS\n";
    QByteArray m_location = "/";
    QList<QByteArray> m_requests;
    QByteArray m_serverName;
};

#include "tests/common/HttpsServer.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <openssl/err.h>

#include <utility>

namespace {
const QByteArray HeaderEnd = "\r\n\r\n";
// What an endless body is sent in, and how much of it may wait in the socket.
constexpr qsizetype Piece = 16'384;
} // namespace

// One connection's server side, bytes in and bytes out.
class HttpsServer::Session
{
public:
    Session(HttpsServer &server, Mode mode);

    // Bytes from the client: the bytes that go back.
    QByteArray fromWire(const QByteArray &received);
    // The next piece of an endless body, to go on the wire.
    QByteArray more() { return toWire(QByteArray(Piece, 'z')); }
    bool streaming() const { return m_streaming; }
    // Where a tunnel that carries no TLS goes, and its first bytes; empty while it is not one.
    const QByteArray &relayTo() const { return m_target; }
    QByteArray takeRelayed() { return std::exchange(m_received, {}); }
    // The answer is out whole, or the handshake failed: the connection is to be closed.
    bool done() const { return m_done; }

private:
    void startTls();
    QByteArray tunnel(const QByteArray &received);
    void take(const QByteArray &received);
    QByteArray toWire(const QByteArray &plain);

    HttpsServer &m_server;
    Mode m_mode;
    // Null in plain text and until a tunnel is open.
    std::unique_ptr<SSL, decltype(&SSL_free)> m_ssl{nullptr, SSL_free};
    QByteArray m_received;
    bool m_streaming = false;
    bool m_done = false;
    bool m_tunnelOpen = false;
    QByteArray m_target;
};

HttpsServer::HttpsServer(Mode mode, const QString &certificateFile, const QString &keyFile)
    : m_mode(mode), m_context(mode == Plain ? nullptr : SSL_CTX_new(TLS_server_method()), SSL_CTX_free)
{
    if (m_context && (SSL_CTX_use_certificate_chain_file(m_context.get(), certificateFile.toLocal8Bit()) != 1 ||
                      SSL_CTX_use_PrivateKey_file(m_context.get(), keyFile.toLocal8Bit(), SSL_FILETYPE_PEM) != 1)) {
        m_error = QStringLiteral("cannot load %1 and %2: %3")
                      .arg(certificateFile, keyFile, QString::fromUtf8(ERR_reason_error_string(ERR_get_error())));
        ERR_clear_error();
        return;
    }
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        m_error = m_server.errorString();
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

std::function<QByteArray(const QByteArray &)> HttpsServer::session()
{
    return [session = std::make_shared<Session>(*this, m_mode)](const QByteArray &received) {
        return session->fromWire(received);
    };
}

void HttpsServer::serve(QTcpSocket *socket)
{
    const auto session = std::make_shared<Session>(*this, m_mode);
    const QDeadlineTimer cap(EndlessMs);
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // An endless body goes on as the client reads it, never far ahead of it.
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [=] {
        if (!session->streaming() || socket->bytesToWrite() >= Piece)
            return;
        if (cap.hasExpired())
            return socket->disconnectFromHost();
        socket->write(session->more());
    });
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [=] {
        socket->write(session->fromWire(socket->readAll()));
        if (!session->relayTo().isEmpty()) {
            QObject::disconnect(socket, &QTcpSocket::readyRead, socket, nullptr);
            relay(socket, session->relayTo(), session->takeRelayed());
        } else if (session->done()) {
            socket->disconnectFromHost();
        }
    });
}

void HttpsServer::relay(QTcpSocket *client, const QByteArray &hostPort, const QByteArray &first)
{
    auto *upstream = new QTcpSocket(client);
    const qsizetype colon = hostPort.lastIndexOf(':');
    upstream->connectToHost(QString::fromLatin1(hostPort.first(colon)), quint16(hostPort.sliced(colon + 1).toUInt()));
    upstream->write(first);
    QObject::connect(client, &QTcpSocket::readyRead, upstream, [=] { upstream->write(client->readAll()); });
    QObject::connect(upstream, &QTcpSocket::readyRead, client, [=] { client->write(upstream->readAll()); });
    QObject::connect(upstream, &QTcpSocket::disconnected, client, [=] { client->disconnectFromHost(); });
    QObject::connect(client, &QTcpSocket::disconnected, upstream, [=] { upstream->disconnectFromHost(); });
}

QByteArray HttpsServer::page(const QByteArray &path) const
{
    const auto answer = [](const QByteArray &status, const QByteArray &headers, const QByteArray &body) -> QByteArray {
        return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\nConnection: close\r\n" + headers + "\r\n" + body;
    };
    if (path == "/")
        return answer("200 OK", "Content-Type: text/plain\r\n", m_body);
    if (path == "/moved")
        return answer("302 Found", "Location: " + m_location + "\r\n", {});
    if (path == "/large")
        return answer("200 OK", {}, QByteArray(LargeBytes, 'x'));
    if (path == "/endless")
        return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    return answer("404 Not Found", {}, {});
}

HttpsServer::Session::Session(HttpsServer &server, Mode mode) : m_server(server), m_mode(mode)
{
    if (mode == Tls || mode == StallsHandshake)
        startTls();
}

void HttpsServer::Session::startTls()
{
    m_ssl.reset(SSL_new(m_server.m_context.get()));
    SSL_set_bio(m_ssl.get(), BIO_new(BIO_s_mem()), BIO_new(BIO_s_mem()));
    SSL_set_accept_state(m_ssl.get());
}

QByteArray HttpsServer::Session::fromWire(const QByteArray &received)
{
    if (m_done || m_mode == StallsHandshake)
        return {};
    if (m_mode == InterceptingProxy && !m_ssl) {
        if (!m_tunnelOpen)
            return tunnel(received);
        // A TLS record begins 0x16: anything else is no TLS for it to intercept.
        if (!received.startsWith('\x16')) {
            m_target = m_server.m_requests.constLast().split(' ').value(1);
            m_received += received;
            return {};
        }
        startTls();
    }
    take(received);
    const qsizetype end = m_received.indexOf(HeaderEnd);
    if (m_done || end < 0)
        return toWire({});
    const QByteArray request = m_received.first(end + HeaderEnd.size());
    m_server.m_requests.append(request);
    const QByteArray path = request.split(' ').value(1);
    m_streaming = path == "/endless";
    m_done = !m_streaming;
    return toWire(m_server.page(path));
}

// A CONNECT's header section: the 200, then what the tunnel carries, which may have come with it.
QByteArray HttpsServer::Session::tunnel(const QByteArray &received)
{
    m_received += received;
    const qsizetype end = m_received.indexOf(HeaderEnd);
    if (end < 0)
        return {};
    m_server.m_requests.append(m_received.first(end + HeaderEnd.size()));
    const QByteArray rest = std::exchange(m_received, {}).sliced(end + HeaderEnd.size());
    m_tunnelOpen = true;
    return "HTTP/1.1 200 Connection established\r\n\r\n" + (rest.isEmpty() ? QByteArray() : fromWire(rest));
}

// The request's bytes as they come, decrypted; a handshake that fails ends the session.
void HttpsServer::Session::take(const QByteArray &received)
{
    if (!m_ssl)
        return void(m_received += received);
    BIO_write(SSL_get_rbio(m_ssl.get()), received.constData(), int(received.size()));
    if (!SSL_is_init_finished(m_ssl.get())) {
        const int result = SSL_do_handshake(m_ssl.get());
        m_done = result != 1 && SSL_get_error(m_ssl.get(), result) != SSL_ERROR_WANT_READ;
        m_server.m_serverName = SSL_get_servername(m_ssl.get(), TLSEXT_NAMETYPE_host_name);
    }
    char chunk[Piece];
    size_t got = 0;
    while (!m_done && SSL_read_ex(m_ssl.get(), chunk, sizeof chunk, &got) == 1)
        m_received.append(chunk, qsizetype(got));
    ERR_clear_error();
}

// Plain bytes as they go on the wire; once the answer is whole, TLS's close after it.
QByteArray HttpsServer::Session::toWire(const QByteArray &plain)
{
    if (!m_ssl)
        return plain;
    if (!plain.isEmpty())
        SSL_write(m_ssl.get(), plain.constData(), int(plain.size()));
    if (m_done && SSL_is_init_finished(m_ssl.get()))
        SSL_shutdown(m_ssl.get());
    BIO *out = SSL_get_wbio(m_ssl.get());
    QByteArray bytes(qsizetype(BIO_ctrl_pending(out)), Qt::Uninitialized);
    BIO_read(out, bytes.data(), int(bytes.size()));
    return bytes;
}

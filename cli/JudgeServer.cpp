#include "cli/JudgeServer.h"

#include "checker/EchoPage.h"
#include "checker/EchoSignature.h"
#include "cli/JudgeRequest.h"
#include "cli/StandardStreams.h"

#include <QDateTime>
#include <QHostAddress>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Accepted per wake-up of a listener, so that a flood of connections cannot starve the ones being answered.
constexpr int AcceptBurst = 64;
constexpr qsizetype ReadChunk = 4096;

QByteArray callerOf(const sockaddr_storage &from)
{
    QHostAddress address(reinterpret_cast<const sockaddr *>(&from));
    // A dual-stack listener sees IPv4 callers as ::ffff:a.b.c.d.
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(ipv4);
    return address.toString().toLatin1();
}

QByteArray statusLine(QByteArrayView version, int status)
{
    const char *reason = status == 200   ? "OK"
                         : status == 405 ? "Method Not Allowed"
                         : status == 431 ? "Request Header Fields Too Large"
                                         : "Bad Request";
    return version.toByteArray() + ' ' + QByteArray::number(status) + ' ' + reason + "\r\n";
}

} // namespace

QByteArray JudgeServer::response(const JudgeRequest &request, const Connection &connection, int status) const
{
    QByteArray body;
    if (status == 200) {
        const JudgeRequest::Origin origin = request.origin(connection.caller, m_fronts);
        EchoPage::Extras extras{request.token(), origin.headers};
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        // A probe's request names the key its checker was given; any other request is offered one.
        if (const std::optional<EchoKey> key = m_keys.find(request.keyId(), now); key && !extras.token.isEmpty()) {
            extras.keyId = key->id;
            extras.signature = EchoSignature::sign(
                key->secret, EchoSignature::base(key->id, extras.token, origin.caller, extras.headers));
        } else {
            extras.key = m_keys.fresh(now);
        }
        // The page after its HTTP header: what EchoPage::page() writes there, then the extras.
        const QByteArray page = EchoPage::page(origin.caller);
        body = page.sliced(page.indexOf("\r\n\r\n") + 4) + EchoPage::extras(extras);
    } else {
        body = statusLine("", status).trimmed() + "\r\n";
    }
    const QByteArray version = request.version().isEmpty() ? QByteArray("HTTP/1.1") : request.version();
    QByteArray head = statusLine(version, status);
    head += "Content-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\nCache-Control: no-store\r\nConnection: close\r\n";
    if (status == 405)
        head += "Allow: GET, HEAD\r\n";
    head += "\r\n";
    return request.method() == "HEAD" ? head : head + body;
}

void JudgeServer::NotifierDeleter::operator()(QSocketNotifier *notifier) const
{
    notifier->setEnabled(false);
    notifier->deleteLater();
}

JudgeServer::Notifier JudgeServer::watch(int fd, bool write)
{
    Notifier notifier(new QSocketNotifier(fd, write ? QSocketNotifier::Write : QSocketNotifier::Read));
    if (write)
        connect(notifier.get(), &QSocketNotifier::activated, this, [this, fd] { onWritable(fd); });
    else
        connect(notifier.get(), &QSocketNotifier::activated, this, [this, fd] { onReadable(fd); });
    return notifier;
}

JudgeServer::JudgeServer(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_sweep.setInterval(1000);
    connect(&m_sweep, &QTimer::timeout, this, &JudgeServer::sweep);
    m_sweep.start();
}

JudgeServer::~JudgeServer()
{
    while (!m_connections.empty())
        close(m_connections.begin()->first);
    m_listenerNotifiers.clear();
    for (const int fd : m_listeners)
        ::close(fd);
}

QString JudgeServer::listen(const QHostAddress &address, quint16 port)
{
    sockaddr_storage at = {};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto &ipv6 = reinterpret_cast<sockaddr_in6 &>(at);
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::copy(std::begin(bytes.c), std::end(bytes.c), ipv6.sin6_addr.s6_addr);
        length = sizeof ipv6;
    } else {
        auto &ipv4 = reinterpret_cast<sockaddr_in &>(at);
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(port);
        ipv4.sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof ipv4;
    }
    const int fd = ::socket(at.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    // [::] and 0.0.0.0 may both be given: each takes its own family.
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        (at.ss_family == AF_INET6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) ||
        ::bind(fd, reinterpret_cast<const sockaddr *>(&at), length) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        return qt_error_string(error);
    }
    m_listeners.push_back(fd);
    const Notifier &notifier = m_listenerNotifiers.emplace_back(new QSocketNotifier(fd, QSocketNotifier::Read));
    connect(notifier.get(), &QSocketNotifier::activated, this, [this, fd] { accept(fd); });
    return {};
}

void JudgeServer::accept(int listener)
{
    for (int i = 0; i < AcceptBurst; ++i) {
        sockaddr_storage from = {};
        socklen_t length = sizeof from;
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr *>(&from), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: the listener stays readable, so it rests a moment rather than spin.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                for (const auto &notifier : m_listenerNotifiers)
                    notifier->setEnabled(false);
                QTimer::singleShot(100, this, [this] {
                    for (const auto &notifier : m_listenerNotifiers)
                        notifier->setEnabled(true);
                });
            }
            return;
        }
        if (m_connections.size() >= size_t(MaxConnections)) {
            ::close(fd);
            continue;
        }
        Connection &connection = m_connections[fd];
        connection.fd = fd;
        connection.caller = callerOf(from);
        connection.acceptedMs = m_clock.elapsed();
        connection.notifier = watch(fd, false);
    }
}

void JudgeServer::onReadable(int fd)
{
    Connection &connection = m_connections.at(fd);
    char chunk[ReadChunk];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0)
        return close(fd);
    // Answered: what still comes is read only to learn of the caller's close.
    if (connection.answered)
        return;
    connection.received.append(chunk, got);
    answer(connection);
}

void JudgeServer::answer(Connection &connection)
{
    const JudgeRequest request = JudgeRequest::read(connection.received);
    int status = 200;
    switch (request.state()) {
    case JudgeRequest::State::Incomplete:
        return;
    case JudgeRequest::State::TooLarge:
        status = 431;
        break;
    case JudgeRequest::State::Malformed:
        status = 400;
        break;
    case JudgeRequest::State::Complete:
        status = request.method() == "GET" || request.method() == "HEAD" ? 200 : 405;
        break;
    }
    if (m_logging) {
        const QByteArrayView received = connection.received;
        const qsizetype lineEnd = received.indexOf('\n');
        log(request.origin(connection.caller, m_fronts).caller,
            received.first(std::min<qsizetype>(lineEnd < 0 ? received.size() : lineEnd, 200)).trimmed(), status);
    }
    connection.unsent = response(request, connection, status);
    connection.received = QByteArray();
    connection.answered = true;
    send(connection);
}

void JudgeServer::send(Connection &connection)
{
    const ssize_t sent =
        ::send(connection.fd, connection.unsent.constData(), size_t(connection.unsent.size()), MSG_NOSIGNAL);
    if (sent < 0 && errno != EAGAIN && errno != EINTR)
        return close(connection.fd);
    connection.unsent.remove(0, std::max<ssize_t>(sent, 0));
    const int fd = connection.fd;
    if (!connection.unsent.isEmpty()) {
        // The rest goes when the caller has read some: a write notifier in place of the read one.
        if (connection.notifier->type() != QSocketNotifier::Write)
            connection.notifier = watch(fd, true);
        return;
    }
    ::shutdown(fd, SHUT_WR);
    if (connection.notifier->type() != QSocketNotifier::Read)
        connection.notifier = watch(fd, false);
}

void JudgeServer::onWritable(int fd)
{
    send(m_connections.at(fd));
}

void JudgeServer::log(const QByteArray &caller, QByteArrayView requestLine, int status)
{
    QByteArray line = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() + ' ' + caller + " \"";
    // A request line is the caller's bytes: nothing unprintable reaches the terminal or the journal.
    for (const char c : requestLine)
        line += c >= 0x20 && c < 0x7f && c != '"' && c != '\\'
                    ? QByteArray(1, c)
                    : "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
    line += "\" " + QByteArray::number(status) + '\n';
    // A server that faces the internet goes on serving when its log's reader has gone (SIGPIPE is ignored).
    if (std::fwrite(line.constData(), 1, size_t(line.size()), stdout) != size_t(line.size()) ||
        std::fflush(stdout) != 0) {
        const int error = errno;
        m_logging = false;
        printError(tr("the log cannot be written (%1): requests are no longer logged").arg(qt_error_string(error)));
    }
}

void JudgeServer::close(int fd)
{
    const auto found = m_connections.find(fd);
    if (found == m_connections.end())
        return;
    // The notifier goes before its descriptor, which the system may hand out again at once.
    found->second.notifier.reset();
    ::close(fd);
    m_connections.erase(found);
}

void JudgeServer::sweep()
{
    const qint64 now = m_clock.elapsed();
    std::vector<int> late;
    for (const auto &[fd, connection] : m_connections) {
        if (now - connection.acceptedMs >= qint64(RequestSeconds) * 1000)
            late.push_back(fd);
    }
    for (const int fd : late)
        close(fd);
}

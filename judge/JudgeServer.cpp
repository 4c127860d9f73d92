#include "judge/JudgeServer.h"

#include "checker/EchoPage.h"
#include "checker/EchoSignature.h"
#include "checker/SocketSystem.h"
#include "judge/JudgeRequest.h"
#include "judge/JudgeResponse.h"

#include <QDateTime>
#include <QHostAddress>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Accepted per wake-up of a listener, so that a flood of connections cannot starve the ones being answered.
constexpr int AcceptBurst = 64;
constexpr qsizetype ReadChunk = 4096;

QByteArray callerOf(const sockaddr_storage &from)
{
    // A dual-stack listener sees IPv4 callers as ::ffff:a.b.c.d.
    return EchoPage::unmapped(QHostAddress(reinterpret_cast<const sockaddr *>(&from))).toString().toLatin1();
}
} // namespace

JudgeResponse JudgeServer::response(const JudgeRequest &request, const Connection &connection, int status) const
{
    if (status != 200)
        return JudgeResponse::refusal(status);
    const JudgeRequest::Origin origin = request.origin(connection.caller, m_fronts);
    EchoPage::Extras extras{request.token(), origin.headers};
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // A probe's request names the key its checker was given; any other request is offered one.
    if (const std::optional<EchoKey> key = m_keys.find(request.keyId(), now); key && !extras.token.isEmpty()) {
        extras.keyId = key->id;
        extras.signature =
            EchoSignature::sign(key->secret, EchoSignature::base(key->id, extras.token, origin.caller, extras.headers));
    } else {
        extras.key = m_keys.fresh(now);
    }
    return JudgeResponse::page(origin.caller, extras);
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
    const socklen_t length = SocketSystem::socketAddress(address, port, at);
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

quint16 JudgeServer::port() const
{
    sockaddr_storage at = {};
    socklen_t length = sizeof at;
    if (m_listeners.empty() || ::getsockname(m_listeners.front(), reinterpret_cast<sockaddr *>(&at), &length) != 0)
        return 0;
    if (at.ss_family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, &at, sizeof in6);
        return ntohs(in6.sin6_port);
    }
    sockaddr_in in{};
    std::memcpy(&in, &at, sizeof in);
    return ntohs(in.sin_port);
}

void JudgeServer::accept(int listener)
{
    for (int i = 0; i < AcceptBurst; ++i) {
        sockaddr_storage from = {};
        socklen_t length = sizeof from;
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr *>(&from), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: the listener stays readable, so it rests a moment rather than spin.
            if (SocketSystem::isLocalShortage(errno)) {
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
    if (m_log) {
        const QByteArrayView received = connection.received;
        const qsizetype lineEnd = received.indexOf('\n');
        log(request.origin(connection.caller, m_fronts).caller,
            received.first(std::min<qsizetype>(lineEnd < 0 ? received.size() : lineEnd, 200)).trimmed(), status);
    }
    connection.unsent = response(request, connection, status).bytes(request.version(), request.method() == "HEAD");
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
    // A server that faces the internet goes on serving when its log's reader has gone.
    if (!m_log(line))
        m_log = nullptr;
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

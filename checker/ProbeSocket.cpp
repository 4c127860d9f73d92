#include "checker/ProbeSocket.h"

#include "checker/SocketSystem.h"
#include "checker/SocketWatch.h"

#include <QHostAddress>

#include <algorithm>
#include <cerrno>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {
// Bytes taken off one connection per read notification: with 200 probes streaming at full speed, one pass of the
// event loop stays short and the batch's timer and the window get their turn.
constexpr qint64 ReadBudget = qint64(256) << 10;
// Received bytes are copied through a small buffer on the stack, never into one sized by what is waiting.
constexpr qsizetype CopyChunk = qsizetype(16) << 10;
// The first allocation of an answer; an echo page fits.
constexpr qsizetype FirstReserve = qsizetype(4) << 10;
// Bytes beyond an answer's keep are dropped by the kernel (MSG_TRUNC on TCP) without being copied anywhere; the
// area only backs the length passed, as the sanitizers expect of recv(), and is never written.
char discardArea[ReadBudget];
} // namespace

ProbeSocket::ProbeSocket(Listener &listener, std::shared_ptr<SocketWatch> watch)
    : m_listener(listener), m_watch(watch ? std::move(watch) : std::make_shared<SocketWatch>())
{}

ProbeSocket::~ProbeSocket()
{
    release();
}

int ProbeSocket::connectTo(const QHostAddress &address, quint16 port)
{
    sockaddr_storage to{};
    const socklen_t length = SocketSystem::socketAddress(address, port, to);
    m_family = to.ss_family;
    m_fd = m_watch->spares().take(m_family);
    if (m_fd < 0)
        m_fd = ::socket(m_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || (::connect(m_fd, reinterpret_cast<const sockaddr *>(&to), length) < 0 && errno != EINPROGRESS &&
                     errno != EINTR)) {
        const int error = errno;
        disconnectSocket();
        if (SocketSystem::isLocalShortage(error))
            return error;
        // Reported through the event loop like any other outcome, never from inside the caller's batch start.
        m_error = error;
        m_failing = true;
        m_watch->failLater(this);
        return 0;
    }
    m_unconnected = true;
    // Writable means connected or failed. Reading waits until the request is out.
    if (!wait(Waiting::Connection)) {
        // Out of memory for the watch, or past the system's number of them: not the proxy's doing either.
        const int error = errno;
        disconnectSocket();
        return error;
    }
    return 0;
}

bool ProbeSocket::send(const QByteArray &data)
{
    if (m_ended || m_fd < 0)
        return false;
    ssize_t sent = 0;
    do {
        sent = ::send(m_fd, data.constData(), size_t(data.size()), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != data.size()) {
        // A proxy that answered without waiting for the request may have closed before it went out: keep what it
        // sent, so that a complete page still counts.
        for (qint64 got = 0, result = 0; got < ReadBudget && (result = drain(ReadBudget - got)) > 0;)
            got += result;
        return false;
    }
    return m_waiting == Waiting::Answer || wait(Waiting::Answer);
}

void ProbeSocket::consume(qsizetype bytes)
{
    m_answer.remove(0, bytes);
}

QByteArray ProbeSocket::take()
{
    m_taken += m_answer.size();
    return std::exchange(m_answer, QByteArray());
}

void ProbeSocket::release()
{
    if (std::exchange(m_failing, false))
        m_watch->forgetFailure(this);
    m_ended = true;
    disconnectSocket();
    m_answer = QByteArray();
}

void ProbeSocket::onReady(quint32 events)
{
    Q_UNUSED(events);
    if (m_waiting == Waiting::Connection)
        onWritable();
    else if (m_waiting == Waiting::Answer)
        onReadable();
}

bool ProbeSocket::wait(Waiting what)
{
    if (m_waiting != Waiting::Nothing)
        m_watch->unwatch(m_fd);
    m_waiting = Waiting::Nothing;
    // Connected or failed is told once; an answer as long as bytes wait.
    const quint32 events = what == Waiting::Connection ? EPOLLOUT | EPOLLONESHOT : EPOLLIN;
    if (what == Waiting::Nothing || !m_watch->watch(m_fd, events, this))
        return what == Waiting::Nothing;
    m_waiting = what;
    return true;
}

void ProbeSocket::onWritable()
{
    // Connected or failed: the watch for it is over.
    wait(Waiting::Nothing);
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0)
        error = errno;
    if (error != 0)
        return fail(error);
    m_unconnected = false;
    m_listener.connected(*this);
}

void ProbeSocket::onReadable()
{
    qint64 got = 0;
    qint64 result = 0;
    while (got < ReadBudget && (result = drain(ReadBudget - got)) > 0)
        got += result;
    const int error = result < 0 ? errno : 0;
    m_received += got;
    // What came before a reset is told first: it may be all the exchange needs.
    if (got > 0) {
        m_listener.dataArrived(*this);
        // Whoever handled it may have let the connection go.
        if (m_ended)
            return;
    }
    // A reset after part of an answer: what was kept lets the exchange tell a complete page from a broken one.
    if (error != 0 && error != EAGAIN && error != EWOULDBLOCK)
        return fail(error);
    if (result == 0) {
        m_ended = true;
        disconnectSocket();
        m_listener.closed(*this);
    }
}

qint64 ProbeSocket::drain(qint64 budget)
{
    const qint64 room = m_answerLimit - m_taken - m_answer.size();
    ssize_t got = 0;
    do {
        if (room > 0) {
            char chunk[CopyChunk];
            got = ::recv(m_fd, chunk, size_t(std::min<qint64>({budget, room, qint64(CopyChunk)})), 0);
            if (got > 0)
                keep(chunk, got);
        } else {
            got = ::recv(m_fd, discardArea, size_t(budget), MSG_TRUNC);
        }
    } while (got < 0 && errno == EINTR);
    return got;
}

void ProbeSocket::keep(const char *data, qsizetype size)
{
    // Grown by doubling, as QByteArray would, but never past what an answer may keep.
    const qsizetype needed = m_answer.size() + size;
    if (needed > m_answer.capacity())
        m_answer.reserve(
            std::min(qsizetype(m_answerLimit - m_taken), std::max({needed, 2 * m_answer.capacity(), FirstReserve})));
    m_answer.append(data, size);
}

void ProbeSocket::disconnectSocket()
{
    if (m_fd < 0)
        return;
    const bool kept = std::exchange(m_unconnected, false) && m_watch->spares().keep(m_fd, m_family);
    // Nothing watches a descriptor number that the system hands out again, nor reports a kept socket's events here.
    m_watch->unwatch(m_fd, !kept);
    m_waiting = Waiting::Nothing;
    if (!kept)
        ::close(m_fd);
    m_fd = -1;
}

void ProbeSocket::fail(int error)
{
    m_error = error;
    m_ended = true;
    disconnectSocket();
    m_listener.failed(*this);
}

void ProbeSocket::failQueued()
{
    m_failing = false;
    if (!m_ended)
        fail(m_error);
}

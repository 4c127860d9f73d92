#include "bench/LoopbackFarm.h"

#include "checker/EchoPage.h"

#include <QElapsedTimer>
#include <QHostAddress>

#include <algorithm>
#include <array>
#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A request is a few dozen bytes; anything past this is read and dropped.
constexpr qsizetype MaxRequest = qsizetype(8) << 10;
// Reads and writes per event, so that one busy connection cannot starve the others.
constexpr int TurnsPerEvent = 64;

bool isLoopback(quint32 address)
{
    return (address >> 24) == 127;
}

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
} // namespace

LoopbackFarm::LoopbackFarm() : m_epoll(::epoll_create1(EPOLL_CLOEXEC))
{
    m_clock.start();
}

LoopbackFarm::~LoopbackFarm()
{
    for (const auto &[fd, peer] : m_peers)
        ::close(fd);
    for (const auto &[fd, listener] : m_listeners)
        ::close(fd);
    for (int fd : m_reserved)
        ::close(fd);
    if (m_epoll >= 0)
        ::close(m_epoll);
}

QByteArray LoopbackFarm::echoPage(quint32 address)
{
    return EchoPage::page(QHostAddress(address).toString().toLatin1());
}

int LoopbackFarm::add(Behaviour behaviour, quint32 address, quint16 port)
{
    if (!isLoopback(address) || m_epoll < 0)
        return 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    socklen_t length = sizeof local;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) != 0) {
        ::close(fd);
        return 0;
    }
    if (behaviour == Refused || behaviour == Unaccepted) {
        m_reserved.push_back(fd);
        if (behaviour == Unaccepted && (::listen(fd, 0) != 0 || !fillBacklog(local)))
            return 0;
        return ntohs(local.sin_port);
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (::listen(fd, SOMAXCONN) != 0 || ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
        ::close(fd);
        return 0;
    }
    m_listeners.emplace(fd, Peer{behaviour, address, {}});
    return ntohs(local.sin_port);
}

bool LoopbackFarm::fillBacklog(const sockaddr_in &listener)
{
    // On loopback the kernel completes the handshake within connect(): the connection then waits in the backlog,
    // which is full, for good.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    m_reserved.push_back(fd);
    return ::connect(fd, reinterpret_cast<const sockaddr *>(&listener), sizeof listener) == 0;
}

void LoopbackFarm::serve(qint64 limitMs, const volatile std::sig_atomic_t &stop)
{
    QElapsedTimer clock;
    clock.start();
    std::array<epoll_event, 256> events{};
    while (!stop && clock.elapsed() < limitMs) {
        // Woken at least twice a second to look at stop, and in time for the next late answer.
        const int nextAnswer = answerDue();
        const int waitMs = nextAnswer < 0 ? 500 : std::min(nextAnswer, 500);
        const int count = ::epoll_wait(m_epoll, events.data(), int(events.size()), waitMs);
        for (int i = 0; i < count; ++i) {
            const int fd = events[size_t(i)].data.fd;
            if (m_listeners.count(fd) != 0)
                acceptAll(fd);
            else
                service(fd, events[size_t(i)].events);
        }
    }
}

void LoopbackFarm::acceptAll(int listener)
{
    const Peer &proxy = m_listeners.at(listener);
    for (int turn = 0; turn < TurnsPerEvent; ++turn) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
            ::close(fd);
            continue;
        }
        m_peers.insert_or_assign(fd, Peer{proxy.behaviour, proxy.address, {}, false, ++m_serials});
    }
}

void LoopbackFarm::service(int fd, quint32 events)
{
    const auto found = m_peers.find(fd);
    if (found == m_peers.end())
        return;
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) && !receive(fd, found->second))
        return;
    if (events & EPOLLOUT)
        stream(fd);
}

bool LoopbackFarm::receive(int fd, Peer &peer)
{
    static std::array<char, size_t(64) << 10> scratch;
    for (int turn = 0; turn < TurnsPerEvent; ++turn) {
        const ssize_t got = ::recv(fd, scratch.data(), scratch.size(), 0);
        if (got < 0 && wouldBlock())
            break;
        // The client has gone, in order or not: the connection has nothing left to do.
        if (got <= 0) {
            drop(fd);
            return false;
        }
        if (peer.request.size() < MaxRequest)
            peer.request.append(scratch.data(), qsizetype(got));
    }
    if (peer.answered || !peer.request.contains("\r\n\r\n"))
        return true;
    peer.answered = true;
    return answer(fd, peer);
}

bool LoopbackFarm::answer(int fd, const Peer &peer)
{
    switch (peer.behaviour) {
    case EchoOwnAddress:
    case CloseAtOnce:
        finish(fd, echoPage(peer.address), false);
        return true;
    case CloseInOneSegment:
        finish(fd, echoPage(peer.address), true);
        return true;
    case EchoOtherAddress:
        finish(fd, echoPage(OtherAddress), false);
        return true;
    case EchoPeerAddress: {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ::getpeername(fd, reinterpret_cast<sockaddr *>(&from), &length);
        finish(fd, echoPage(ntohl(from.sin_addr.s_addr)), false);
        return true;
    }
    case EchoAfter500ms:
        m_lateAnswers.push_back({m_clock.elapsed() + LateAnswerMs, fd, peer.serial});
        return true;
    case NoMarker:
        finish(fd, "HTTP/1.0 403 Forbidden\r\n\r\n<html><body>Access denied</body></html>", false);
        return true;
    case Reset: {
        const linger now{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        drop(fd);
        return false;
    }
    case Stream: {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT;
        event.data.fd = fd;
        ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
        return stream(fd);
    }
    case Silent:
    case Refused:
    case Unaccepted:
        break;
    }
    return true;
}

bool LoopbackFarm::stream(int fd)
{
    static const QByteArray chunk(qsizetype(64) << 10, 'z');
    for (int turn = 0; turn < TurnsPerEvent; ++turn) {
        const ssize_t sent = ::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) {
            m_bytesSent += sent;
            continue;
        }
        if (wouldBlock())
            return true;
        drop(fd);
        return false;
    }
    return true;
}

int LoopbackFarm::answerDue()
{
    while (!m_lateAnswers.empty()) {
        const LateAnswer &next = m_lateAnswers.front();
        const qint64 now = m_clock.elapsed();
        if (next.dueMs > now)
            return int(next.dueMs - now);
        // A client that gave up meanwhile is not answered; its descriptor may belong to another connection now.
        const auto found = m_peers.find(next.fd);
        if (found != m_peers.end() && found->second.serial == next.serial)
            finish(next.fd, echoPage(found->second.address), false);
        m_lateAnswers.pop_front();
    }
    return -1;
}

// The page and the end of the stream, at once. Corked, the close rides in the page's own segment. The descriptor
// stays open until the client closes its side, so that whatever it still sends is read and never answered with a
// reset.
void LoopbackFarm::finish(int fd, const QByteArray &page, bool oneSegment)
{
    const int on = 1;
    const int off = 0;
    if (oneSegment)
        ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
    m_bytesSent += std::max<ssize_t>(0, ::send(fd, page.constData(), size_t(page.size()), MSG_NOSIGNAL));
    ::shutdown(fd, SHUT_WR);
    if (oneSegment)
        ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &off, sizeof off);
}

void LoopbackFarm::drop(int fd)
{
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    m_peers.erase(fd);
}

#include "checker/SocketWatch.h"

#include "checker/ProbeSocket.h"

#include <QSocketNotifier>

#include <array>
#include <sys/epoll.h>
#include <unistd.h>

namespace {
// Events handed out per pass of the event loop: each costs at most one read budget of its socket.
constexpr int EventsPerPass = 256;
} // namespace

SocketWatch::SocketWatch() : m_epoll(::epoll_create1(EPOLL_CLOEXEC))
{
    if (m_epoll < 0)
        return;
    m_notifier = new QSocketNotifier(qintptr(m_epoll), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SocketWatch::onReady);
}

SocketWatch::~SocketWatch()
{
    delete m_notifier;
    if (m_epoll >= 0)
        ::close(m_epoll);
}

bool SocketWatch::watch(int fd, quint32 events, ProbeSocket *socket)
{
    const quint64 key = ++m_lastKey;
    epoll_event event{};
    event.events = events;
    event.data.u64 = key;
    if (m_epoll < 0 || ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0)
        return false;
    m_keys[fd] = key;
    m_sockets.emplace(key, socket);
    return true;
}

void SocketWatch::unwatch(int fd, bool closing)
{
    const auto key = m_keys.find(fd);
    if (key == m_keys.end())
        return;
    if (!closing)
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    m_sockets.erase(key->second);
    m_keys.erase(key);
}

void SocketWatch::onReady()
{
    // A socket's handler may let go of the last probe, and with it of this watch.
    const std::shared_ptr<SocketWatch> keep = shared_from_this();
    std::array<epoll_event, EventsPerPass> events{};
    const int count = ::epoll_wait(m_epoll, events.data(), EventsPerPass, 0);
    for (int i = 0; i < count; ++i) {
        const quint64 key = events[size_t(i)].data.u64;
        const auto socket = m_sockets.find(key);
        if (socket != m_sockets.end())
            socket->second->onReady(events[size_t(i)].events);
    }
}

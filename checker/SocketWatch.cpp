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
    if (fd < 0 || m_epoll < 0)
        return false;
    if (++m_lastSerial == 0)
        ++m_lastSerial;
    epoll_event event{};
    event.events = events;
    event.data.u64 = quint64(m_lastSerial) << 32 | quint32(fd);
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0)
        return false;
    if (size_t(fd) >= m_watches.size())
        m_watches.resize(size_t(fd) + 1);
    m_watches[size_t(fd)] = {m_lastSerial, socket};
    return true;
}

void SocketWatch::unwatch(int fd, bool closing)
{
    if (fd < 0 || size_t(fd) >= m_watches.size() || !m_watches[size_t(fd)].socket)
        return;
    if (!closing)
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    m_watches[size_t(fd)] = {};
}

void SocketWatch::onReady()
{
    // A socket's handler may let go of the last probe, and with it of this watch.
    const std::shared_ptr<SocketWatch> keep = shared_from_this();
    std::array<epoll_event, EventsPerPass> events{};
    const int count = ::epoll_wait(m_epoll, events.data(), EventsPerPass, 0);
    for (int i = 0; i < count; ++i) {
        const quint64 key = events[size_t(i)].data.u64;
        const auto fd = size_t(quint32(key));
        if (fd < m_watches.size() && m_watches[fd].socket && m_watches[fd].serial == quint32(key >> 32))
            m_watches[fd].socket->onReady(events[size_t(i)].events);
    }
}

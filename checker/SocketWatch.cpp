#include "checker/SocketWatch.h"

#include "checker/ProbeSocket.h"

#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <cerrno>
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
    if (size_t(fd) >= m_watches.size())
        m_watches.resize(size_t(fd) + 1);
    Watch &entry = m_watches[size_t(fd)];
    epoll_event event{};
    event.events = events;
    event.data.u64 = quint64(m_lastSerial) << 32 | quint32(fd);
    // A kept socket closed since its last watch took that watch with it, and its number may have come back.
    const int first = entry.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (::epoll_ctl(m_epoll, first, fd, &event) != 0 &&
        (errno != (entry.registered ? ENOENT : EEXIST) ||
         ::epoll_ctl(m_epoll, entry.registered ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &event) != 0)) {
        entry = {};
        return false;
    }
    entry = {m_lastSerial, socket, true, (events & EPOLLONESHOT) != 0};
    return true;
}

void SocketWatch::unwatch(int fd, bool closing)
{
    if (fd < 0 || size_t(fd) >= m_watches.size())
        return;
    Watch &entry = m_watches[size_t(fd)];
    const bool stays = entry.registered && entry.oneShot && !closing;
    if (entry.registered && !closing && !entry.oneShot)
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    entry = {0, nullptr, stays, stays};
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
        if (fd >= m_watches.size() || !m_watches[fd].socket || m_watches[fd].serial != quint32(key >> 32))
            continue;
        ProbeSocket *socket = m_watches[fd].socket;
        // A one-shot watch is over once reported: the system will not report it again.
        if (m_watches[fd].oneShot)
            m_watches[fd].socket = nullptr;
        socket->onReady(events[size_t(i)].events);
    }
}

void SocketWatch::failLater(ProbeSocket *socket)
{
    if (m_failing.empty())
        QMetaObject::invokeMethod(this, &SocketWatch::reportFailures, Qt::QueuedConnection);
    m_failing.push_back(socket);
}

void SocketWatch::forgetFailure(ProbeSocket *socket)
{
    std::replace(m_failing.begin(), m_failing.end(), socket, static_cast<ProbeSocket *>(nullptr));
}

void SocketWatch::reportFailures()
{
    const std::shared_ptr<SocketWatch> keep = shared_from_this();
    // A handler may forget another's failure, or start a probe that fails at once: its failure is told in this pass.
    for (size_t i = 0; i < m_failing.size(); ++i) {
        if (ProbeSocket *socket = std::exchange(m_failing[i], nullptr))
            socket->failQueued();
    }
    m_failing.clear();
}

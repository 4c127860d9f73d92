#pragma once

#include "checker/SpareSockets.h"

#include <QObject>

#include <memory>
#include <vector>

class ProbeSocket;
class QSocketNotifier;

// The readiness of many probes' sockets through one epoll descriptor, which the event loop watches as one: a
// notifier for each socket would have the loop poll every one of them at each pass, and ten thousand open probes
// would make each event cost ten thousand. Each wake-up hands out a bounded number of events, so that timers and the
// window still get their turn; what is left is reported at the loop's next pass.
class SocketWatch : public QObject, public std::enable_shared_from_this<SocketWatch>
{
    Q_OBJECT

public:
    SocketWatch();
    ~SocketWatch() override;

    // Reports the descriptor's readiness for reading or writing (EPOLLIN, EPOLLOUT; a failure or hang-up always) to
    // the socket, from the event loop, until unwatch(). False when the system refused.
    bool watch(int fd, quint32 events, ProbeSocket *socket);
    // When its socket waits for nothing, or before the descriptor is closed (closing: the system drops a closed
    // descriptor from the watch itself, which saves a call per probe): no event of it is reported any more, not
    // even one already taken off the system.
    void unwatch(int fd, bool closing = false);
    // The sockets of ended probes kept for the next, shared like the watch.
    SpareSockets &spares() { return m_spares; }

private:
    void onReady();

    int m_epoll;
    QSocketNotifier *m_notifier = nullptr;
    // Each descriptor's watch, by its number. A watch has a serial number of its own, which its events carry beside
    // the descriptor: an event of an earlier watch of the same descriptor number is told apart.
    struct Watch
    {
        quint32 serial = 0;
        ProbeSocket *socket = nullptr;
    };
    std::vector<Watch> m_watches;
    quint32 m_lastSerial = 0;
    SpareSockets m_spares;
};

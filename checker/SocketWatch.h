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
    // the socket, from the event loop, until unwatch(). With EPOLLONESHOT, the first report ends the watch. False
    // when the system refused.
    bool watch(int fd, quint32 events, ProbeSocket *socket);
    // When its socket waits for nothing, or before the descriptor is closed: no event of it is reported any more,
    // not even one already taken off the system. The system drops a closed descriptor from the watch itself, and a
    // one-shot watch stays with the system until the descriptor's next watch replaces it: each saves a call per
    // probe.
    void unwatch(int fd, bool closing = false);
    // The sockets of ended probes kept for the next, shared like the watch.
    SpareSockets &spares() { return m_spares; }
    // The socket's failure is told to it (fail()) at the event loop's next pass, unless forgotten before.
    void failLater(ProbeSocket *socket);
    void forgetFailure(ProbeSocket *socket);

private:
    void onReady();
    void reportFailures();

    int m_epoll;
    QSocketNotifier *m_notifier = nullptr;
    // Each descriptor's watch, by its number. A watch has a serial number of its own, which its events carry beside
    // the descriptor: an event of an earlier watch of the same descriptor number is told apart.
    struct Watch
    {
        quint32 serial = 0;
        ProbeSocket *socket = nullptr;
        // Whether the system holds a watch of the descriptor, and whether that one reports once at most.
        bool registered = false;
        bool oneShot = false;
    };
    std::vector<Watch> m_watches;
    quint32 m_lastSerial = 0;
    SpareSockets m_spares;
    std::vector<ProbeSocket *> m_failing;
};

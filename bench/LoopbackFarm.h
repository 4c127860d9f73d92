#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QtGlobal>

#include <csignal>
#include <deque>
#include <netinet/in.h>
#include <unordered_map>
#include <vector>

// Fake proxies for the checker benchmark: listening sockets on 127.0.0.0/8 addresses, each treating every
// connection one way, served by one epoll loop in a process of their own so that none of their work is counted
// as the checker's. Like a real proxy they answer only once the whole request has come in; they forward nothing.
// A late answer is kept in a queue and written by the same loop when its time comes: no connection has a thread
// or a sleep of its own.
class LoopbackFarm
{
public:
    enum Behaviour {
        EchoOwnAddress,    // the echo page with the address the client connected to, then an orderly close
        EchoOtherAddress,  // the echo page with OtherAddress, then an orderly close
        NoMarker,          // a page without the start marker, then an orderly close
        Reset,             // a reset instead of an answer
        Silent,            // says nothing and keeps the connection open
        Stream,            // sends at full speed until the client goes away
        CloseAtOnce,       // the echo page, the close right behind it
        CloseInOneSegment, // the echo page and the close in one segment
        Refused,           // a bound port with no listener: connecting is refused
        EchoAfter500ms,    // the echo page 500 ms after the whole request has come in, then an orderly close
        EchoPeerAddress,   // an echo host asked directly: the page with the address the client came from, then a close
        Unaccepted,        // listens with a backlog of one, filled at once by a connection of this farm's own, and
                           // never accepts: the kernel drops every client's SYN, and this process does no work
    };
    static constexpr quint32 OtherAddress = 0x7f00002c; // 127.0.0.44
    static constexpr qint64 LateAnswerMs = 500;

    LoopbackFarm();
    ~LoopbackFarm();
    LoopbackFarm(const LoopbackFarm &) = delete;
    LoopbackFarm &operator=(const LoopbackFarm &) = delete;

    // A new proxy on that loopback address (host order) and port, any free one for 0; its port, or 0 when it could
    // not be set up.
    int add(Behaviour behaviour, quint32 address, quint16 port = 0);
    // Serves every proxy for at most limitMs milliseconds, or until stop is set (by a signal handler).
    void serve(qint64 limitMs, const volatile std::sig_atomic_t &stop);
    // Everything the proxies have written so far.
    qint64 bytesSent() const { return m_bytesSent; }

    // The echo host's answer showing the address (host order) in dotted form.
    static QByteArray echoPage(quint32 address);

private:
    // Fills the backlog of the listener at that address with a connection of its own; false when it could not.
    bool fillBacklog(const sockaddr_in &listener);

    struct Peer
    {
        Behaviour behaviour;
        quint32 address;
        QByteArray request;
        bool answered = false;
        // Tells this connection from a later one that gets the same descriptor once this one is closed.
        quint64 serial = 0;
    };
    // An answer to write later, to the connection with that descriptor and serial if it is still there.
    struct LateAnswer
    {
        qint64 dueMs;
        int fd;
        quint64 serial;
    };

    void acceptAll(int listener);
    void service(int fd, quint32 events);
    // Each returns false when the connection has been dropped meanwhile.
    bool receive(int fd, Peer &peer);
    bool answer(int fd, const Peer &peer);
    bool stream(int fd);
    // Writes the late answers whose time has come; returns how long until the next one is due, or -1 for none.
    int answerDue();
    void finish(int fd, const QByteArray &page, bool oneSegment);
    void drop(int fd);

    int m_epoll;
    qint64 m_bytesSent = 0;
    quint64 m_serials = 0;
    QElapsedTimer m_clock;
    // Every late answer waits as long, so the queue is in the order they fall due.
    std::deque<LateAnswer> m_lateAnswers;
    std::unordered_map<int, Peer> m_listeners; // the proxies, by listening descriptor
    std::unordered_map<int, Peer> m_peers;     // the accepted connections
    std::vector<int> m_reserved;               // the refused and unaccepted ports (and what fills the latter's
                                               // backlogs), held so that nothing else
                                               // gets them
};

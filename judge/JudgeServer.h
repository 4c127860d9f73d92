#pragma once

#include "judge/JudgeKeys.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class JudgeRequest;
class JudgeResponse;
class QSocketNotifier;

// The judge, Korvane's own IP-echo server: to every GET, for any path, the echo page showing the address the request
// came from, with the request's token and the headers that can tell its origin after the page (see EchoPage::extras()),
// signed with the key the path names, or a fresh key offered when it names none (see JudgeKeys). Built to face the open
// internet: a request has JudgeRequest::MaxHeadBytes and RequestSeconds to arrive, at most MaxConnections are open at
// once (more are closed as they come), and every answer ends its connection.
class JudgeServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxConnections = 4096;
    static constexpr int RequestSeconds = 10;

    explicit JudgeServer(QObject *parent = nullptr);
    ~JudgeServer() override;

    // Takes one line of the log, its line break included; false once it cannot take any more.
    using LogSink = std::function<bool(QByteArrayView line)>;

    // Listens on the address and port; empty, or why it could not, in the system's words.
    QString listen(const QHostAddress &address, quint16 port);
    // The port of the first address listened on: the one the system chose, when asked for port 0.
    quint16 port() const;
    // One line per request, "TIME CALLER "REQUEST LINE" STATUS", to the sink; none without one. Once the sink has
    // refused a line, the server goes on without a log.
    void setLogSink(LogSink sink) { m_log = std::move(sink); }
    // Reverse proxies in front of the server: a request they pass on is answered as from the caller they name.
    void setTrustedFronts(const QList<QHostAddress> &fronts) { m_fronts = fronts; }
    int connectionCount() const { return int(m_connections.size()); }

private:
    // A notifier may go while it is telling of its descriptor: it is switched off at once, deleted later.
    struct NotifierDeleter
    {
        void operator()(QSocketNotifier *notifier) const;
    };
    using Notifier = std::unique_ptr<QSocketNotifier, NotifierDeleter>;

    struct Connection
    {
        int fd = -1;
        Notifier notifier;
        QByteArray received;
        QByteArray unsent;
        QByteArray caller;
        qint64 acceptedMs = 0;
        // The answer has gone (or is going) and the write side is shut: the caller's close is awaited, so that
        // unread bytes never turn the close into a reset that could destroy the answer.
        bool answered = false;
    };

    Notifier watch(int fd, bool write);
    void accept(int listener);
    void onReadable(int fd);
    void onWritable(int fd);
    void answer(Connection &connection);
    void send(Connection &connection);
    JudgeResponse response(const JudgeRequest &request, const Connection &connection, int status) const;
    void log(const QByteArray &caller, QByteArrayView requestLine, int status);
    void close(int fd);
    void sweep();

    std::vector<int> m_listeners;
    std::vector<Notifier> m_listenerNotifiers;
    std::unordered_map<int, Connection> m_connections;
    QTimer m_sweep;
    QElapsedTimer m_clock;
    JudgeKeys m_keys;
    QList<QHostAddress> m_fronts;
    LogSink m_log;
};

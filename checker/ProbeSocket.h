#pragma once

#include <QByteArray>

#include <memory>

class QHostAddress;
class SocketWatch;

// The connection of one probe: a TCP client connection to one proxy and the answer received so far. A thin non-blocking
// socket of its own rather than a QTcpSocket, because the verdict hangs on telling an orderly close (recv() gives 0)
// from a reset (ECONNRESET), and Qt reports both alike. Not a QObject: ten thousand of them come and go each second,
// and each would cost an object of Qt's and four connections.
//
// Its events are told to its listener from the event loop only, never from inside the call that started the probe.
// The listener may release the socket while it hears of one, but must not destroy it before the loop's next turn.
class ProbeSocket
{
public:
    // What one answer may keep; an echo page is a few hundred bytes, and a hostile proxy must not fill the memory.
    static constexpr qsizetype MaxAnswerBytes = qsizetype(64) << 10;

    // Who hears what becomes of the connection.
    class Listener
    {
    public:
        virtual void connected(ProbeSocket &socket) = 0;
        // More of the answer came in.
        virtual void dataArrived(ProbeSocket &socket) = 0;
        // The peer closed its side; everything it sent before is in answer().
        virtual void closed(ProbeSocket &socket) = 0;
        // Connecting failed, or the connection was reset or broke.
        virtual void failed(ProbeSocket &socket) = 0;

    protected:
        ~Listener() = default;
    };

    // watch: what reports its readiness, shared by the probes of a run; one of its own when none is given.
    explicit ProbeSocket(Listener &listener, std::shared_ptr<SocketWatch> watch = {});
    ~ProbeSocket();
    ProbeSocket(const ProbeSocket &) = delete;
    ProbeSocket &operator=(const ProbeSocket &) = delete;

    // What was kept of the answer and not taken yet. The first answerLimit() bytes received are kept, taken or not;
    // what came after is counted in received() but not kept.
    const QByteArray &answer() const { return m_answer; }
    qint64 received() const { return m_received; }
    // MaxAnswerBytes unless a probe that reads a longer answer as it comes says otherwise.
    qint64 answerLimit() const { return m_answerLimit; }
    void setAnswerLimit(qint64 bytes) { m_answerLimit = bytes; }
    // -1 when there is no connection.
    int descriptor() const { return m_fd; }
    // The system's error number of the failure failed() told; 0 before.
    int error() const { return m_error; }

    // Starts connecting to the IPv4 or IPv6 address and port, and returns at once: 0, and the outcome follows as a
    // event. When this machine has no socket to give (no descriptor, no memory, no local port left) the proxy
    // played no part: the error number is returned and no event follows.
    int connectTo(const QHostAddress &address, quint16 port);
    // Sends the bytes in one go and listens for the answer; false when they did not all go out, with whatever had
    // already come in kept in answer().
    bool send(const QByteArray &data);
    // Drops the first bytes of the answer kept: a tunnel's reply, read and done with.
    void consume(qsizetype bytes);
    // Hands the answer kept so far on, to whoever reads it now; it still counts against what an answer may keep.
    QByteArray take();
    // Drops the connection and the answer; the listener hears nothing more.
    void release();

private:
    friend class SocketWatch;
    // What the socket waits for.
    enum class Waiting { Nothing, Connection, Answer };

    // The system's readiness events, while the socket waits for something.
    void onReady(quint32 events);
    // Waits for that from now on, or for nothing; false when the system refused.
    bool wait(Waiting what);
    void onWritable();
    void onReadable();
    // Takes up to budget bytes off the connection: a result > 0 counts them, 0 is the close, -1 a failure (errno).
    qint64 drain(qint64 budget);
    void keep(const char *data, qsizetype size);
    void disconnectSocket();
    void fail(int error);
    // The failure that connectTo() met at once, told now.
    void failQueued();

    Listener &m_listener;
    int m_fd = -1;
    int m_family = 0;
    // The connection has started and got no further (it may have been refused): the socket can serve another.
    bool m_unconnected = false;
    std::shared_ptr<SocketWatch> m_watch;
    Waiting m_waiting = Waiting::Nothing;
    QByteArray m_answer;
    // How much of the answer has been taken.
    qint64 m_taken = 0;
    qint64 m_answerLimit = MaxAnswerBytes;
    qint64 m_received = 0;
    int m_error = 0;
    // Closed, failed or released: nothing more is reported.
    bool m_ended = false;
    // A failure waits for the watch to tell it.
    bool m_failing = false;
};

#pragma once

#include "checker/Clock.h"

#include <QByteArray>
#include <QObject>

#include <memory>

class QHostAddress;
class SocketWatch;

// The connection of one probe: a TCP client connection to one proxy, the list row that it probes and the answer
// received so far. A thin non-blocking socket of its own rather than a QTcpSocket, because the verdict hangs on
// telling an orderly close (recv() gives 0) from a reset (ECONNRESET), and Qt reports both alike.
//
// Its signals come from the event loop only, never from inside the call that started the probe.
class ProbeSocket : public QObject
{
    Q_OBJECT

public:
    // What one answer may keep; an echo page is a few hundred bytes, and a hostile proxy must not fill the memory.
    static constexpr qsizetype MaxAnswerBytes = qsizetype(64) << 10;

    // watch: what reports its readiness, shared by the probes of a run; one of its own when none is given.
    explicit ProbeSocket(QObject *parent = nullptr, std::shared_ptr<SocketWatch> watch = {});
    ~ProbeSocket() override;

    int row() const { return m_row; }
    void setRow(int row) { m_row = row; }
    // When the connection attempt started, on the run's clock.
    Clock::TimePoint startedAt() const { return m_startedAt; }
    void setStartedAt(Clock::TimePoint moment) { m_startedAt = moment; }
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
    // signal. When this machine has no socket to give (no descriptor, no memory, no local port left) the proxy
    // played no part: the error number is returned and no signal follows.
    int connectTo(const QHostAddress &address, quint16 port);
    // Sends the bytes in one go and listens for the answer; false when they did not all go out, with whatever had
    // already come in kept in answer().
    bool send(const QByteArray &data);
    // Drops the first bytes of the answer kept: a tunnel's reply, read and done with.
    void consume(qsizetype bytes);
    // Hands the answer kept so far on, to whoever reads it now; it still counts against what an answer may keep.
    QByteArray take();
    // Drops the connection and the answer; no signal follows.
    void release();

Q_SIGNALS:
    void connected();
    // More of the answer came in.
    void dataArrived();
    // The peer closed its side; everything it sent before is in answer().
    void closed();
    // Connecting failed, or the connection was reset or broke.
    void failed();

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

    int m_fd = -1;
    int m_family = 0;
    // The connection has started and got no further (it may have been refused): the socket can serve another.
    bool m_unconnected = false;
    std::shared_ptr<SocketWatch> m_watch;
    Waiting m_waiting = Waiting::Nothing;
    int m_row = 0;
    Clock::TimePoint m_startedAt;
    QByteArray m_answer;
    // How much of the answer has been taken.
    qint64 m_taken = 0;
    qint64 m_answerLimit = MaxAnswerBytes;
    qint64 m_received = 0;
    int m_error = 0;
    // Closed, failed or released: nothing more is reported.
    bool m_ended = false;
};

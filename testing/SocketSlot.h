#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QString>
#include <QTcpSocket>

// One socket slot: a TCP client connection to one proxy, and the table row that it probes.
//
// The socket runs unbuffered, so received bytes wait in the kernel until GetData() takes them. That lets the slot
// look at the connection before Qt reads it: Qt reports an orderly close and a reset alike (RemoteHostClosedError),
// but a peek at the socket tells them apart, an end of stream against ECONNRESET.
class SocketSlot
{
public:
    enum class Arrival {
        Data,    // bytes wait to be read
        Closed,  // every byte has been read and the peer closed its side
        Failed,  // the connection was reset (or broke otherwise)
        Nothing, // a notification with nothing behind it
    };

    // The socket is a child of owner, so that no socket outlives the slot array.
    explicit SocketSlot(QObject *owner);
    // Drops the connection at once. The socket object goes with deleteLater(): the slot may be removed from inside
    // one of the socket's own signals.
    ~SocketSlot();
    SocketSlot(const SocketSlot &) = delete;
    SocketSlot &operator=(const SocketSlot &) = delete;

    QTcpSocket *socket() const { return m_socket; }

    const QString &Tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }
    const QHostAddress &RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QHostAddress &host) { m_remoteHost = host; }
    quint16 RemotePort() const { return m_remotePort; }
    void setRemotePort(quint16 port) { m_remotePort = port; }

    // Starts connecting to RemoteHost:RemotePort and returns at once; never looks up a name.
    void Connect();
    // Hands the bytes to the connection in one write; false when the slot is not connected or the write failed.
    bool SendData(const QByteArray &data);
    // Takes up to maxBytes of what has been received.
    QByteArray GetData(qint64 maxBytes);
    qint64 bytesAvailable() const;
    // Closes the connection; no event follows.
    void Close();

    // What a read notification stands for, found without taking any byte.
    Arrival peekArrival() const;
    // After a notification with nothing to read, Qt notifies again only once the socket has been read; this reads
    // whatever has come in meanwhile into the slot. False when the connection broke in between.
    bool rearm();

    // A Close or Error event has been delivered: nothing more may follow.
    bool ended() const { return m_ended; }
    void setEnded() { m_ended = true; }

private:
    void release();

    QPointer<QTcpSocket> m_socket;
    QString m_tag;
    QHostAddress m_remoteHost;
    quint16 m_remotePort = 0;
    QByteArray m_early;
    bool m_ended = false;
};

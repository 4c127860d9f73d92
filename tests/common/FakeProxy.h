#pragma once

#include <QHostAddress>
#include <QList>
#include <QTcpServer>

// A proxy on a loopback address that treats every connection one way, chosen at creation. It forwards nothing:
// where a real proxy would fetch the echo page, it writes the page itself.
class FakeProxy
{
public:
    enum Behaviour {
        EchoOwnAddress,    // the echo page, showing the address the client connected to
        EchoOtherAddress,  // the echo page, showing OtherAddress
        EchoSplit,         // the echo page in two writes 50 ms apart, cut inside the start marker
        NoMarker,          // a page without the start marker
        CloseEmpty,        // closes without sending a byte
        Silent,            // keeps the connection open and says nothing
        PartialThenSilent, // half the echo page, then nothing
        Reset,             // resets the connection without sending a byte
        ResetAfterPage,    // the whole echo page, then a reset instead of a close
        EndlessStream,     // sends until the client goes away
        OversizedPage,     // an echo page whose address ends exactly where an answer's keep ends, then far more
        LateMarker,        // a page whose start marker ends one byte past an answer's keep
        EchoCorked,        // the echo page and the close at once; every other time in one segment
    };
    static const QString OtherAddress;

    explicit FakeProxy(Behaviour behaviour, const QHostAddress &address = QHostAddress::LocalHost);

    quint16 port() const { return m_server.serverPort(); }
    // The table row that points at this proxy.
    QString row() const;
    // What each client sent, up to the end of its header section.
    const QList<QByteArray> &requests() const { return m_requests; }

    static QByteArray echoPage(const QString &address);
    // A port on the address that nothing listens on: connecting to it is refused.
    static quint16 refusedPort(const QHostAddress &address = QHostAddress::LocalHost);
    // Ends the connection with a reset rather than a close.
    static void reset(QTcpSocket *peer);

private:
    void accept();
    void answer(QTcpSocket *peer);
    void stream(QTcpSocket *peer);

    Behaviour m_behaviour;
    QTcpServer m_server;
    QList<QByteArray> m_requests;
    int m_answered = 0;
};

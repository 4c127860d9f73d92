#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <optional>

// A proxy on a loopback address that answers every connection one way, with the echo page written by itself.
class FakeProxy
{
public:
    enum Behaviour {
        EchoOwnAddress,   // the echo page showing the address the client connected to, with the close at once
        EchoOtherAddress, // the echo page, showing another loopback address
        EchoSplit,        // the echo page in three writes 50 ms apart, cut inside each marker, kept open
        AsksCredentials,  // a 407 status line and a page without the start marker, kept open
        NoMarkers,        // a web server's own page, without the markers, then the close
        Silent,           // keeps the connection open and says nothing
        Refused,          // nothing listens on its port
        Reset,            // resets the connection without sending a byte
        ResetAfterPage,   // the whole echo page, then a reset instead of a close
        ResetMidPage,     // the echo page up to the middle of the address, then a reset
        ReadsOneRequest,  // reads byte by byte to the end of the header section, answers, closes with 2 bytes unread
        AnswersUnread,    // the echo page and the close as soon as the client connects, nothing read
        EndlessStream,    // sends until the client goes away
        OversizedPage,    // an echo page whose address ends exactly where an answer's keep ends, then far more
        LateMarker,       // a page whose start marker ends one byte past an answer's keep
        SlowAccept,       // as EchoOwnAddress, its listen queue full for 300 ms: a SYN then is resent a second later
        FailsTwice, // of every three requests, resets the first two as Reset and answers the third as EchoOwnAddress
        // HTTP proxies that pass "GET http://H:P/PATH HTTP/1.0" on to H:P (an address on loopback, else a 502) as
        // "GET /PATH HTTP/1.0" with a Host header, connecting out from the proxy's own address; the answer is
        // relayed, then the close.
        ForwardsAddingXff,    // adds "X-Forwarded-For: " and the client's address
        Replays,              // forwards the first request only; every request gets that first answer, a canned page
        Forges,               // forwards nothing: a page of its own, showing its address, with the token of the path
        RelaysOtherAddress,   // the page of the echo host, showing 127.0.0.44 in place of the proxy's address
        RelaysDroppingHeader, // adds "X-Forwarded-For", then drops it from the page of the echo host
        // Tunnels: each answers the client's first bytes, whatever they are.
        Socks4Echo,            // grants a SOCKS 4 or 4a request, then serves the echo page through the tunnel
        Socks5CutShort,        // one byte of a SOCKS 5 reply, then the close
        ConnectEndlessHeaders, // a 200 status line, then header lines far past what an answer keeps
        EchoesBack,            // the client's first bytes sent back, then the close
        ClosesSilently,        // the close without a word, each client's first bytes kept as its request
    };

    // delayMs: how long it waits, once a request is in, before it answers.
    explicit FakeProxy(Behaviour behaviour, const QHostAddress &address = QHostAddress::LocalHost, int delayMs = 0);

    quint16 port() const { return m_port; }
    QString row() const { return m_address.toString() + u':' + QString::number(m_port); }
    // What each client sent, up to the end of its header section; a SOCKS 4 request, whole.
    const QList<QByteArray> &requests() const { return m_requests; }

private:
    void forward(QTcpSocket *peer, Behaviour behaviour, const QByteArray &request);

    QHostAddress m_address;
    QTcpServer m_server;
    QTcpSocket m_bound; // Refused's port, SlowAccept's connection that fills its queue
    quint16 m_port = 0;
    QList<QByteArray> m_requests;
    int m_answered = 0;
    // Replays: the first answer, once it is in, and the clients that asked before it was.
    std::optional<QByteArray> m_replay;
    QList<QPointer<QTcpSocket>> m_waiting;
};

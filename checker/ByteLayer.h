#pragma once

#include <QByteArray>
#include <QString>

// What lies between a probe's connection and its exchange once the tunnel is open: the request goes in and comes out
// as the bytes that go on the wire, the bytes received go in and come out as the answer. The wire's bytes are all
// the connection gives it: it never reads or writes the socket itself, so it may be driven by a test byte by byte.
class ByteLayer
{
public:
    virtual ~ByteLayer() = default;

    // The tunnel is open: the bytes to write on it first. A layer that must agree on something with the far end
    // first (TLS) gives its own opening and holds the request until then.
    virtual QByteArray open(const QByteArray &request) = 0;
    // Bytes taken off the wire: what they carry is added to the answer, and what the layer has to say back (the
    // rest of a handshake, the request held) is returned, to go on the wire.
    virtual QByteArray fromWire(QByteArray received, QByteArray &answer) = 0;
    // Why the layer gave up on the connection, in a few words; empty while it has not.
    virtual QString failure() const { return {}; }
};

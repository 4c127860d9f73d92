#pragma once

#include <QByteArray>

// What lies between a probe's connection and its exchange once the tunnel is open: the request goes in and comes out
// as the bytes that go on the wire, the bytes received go in and come out as the answer. The wire's bytes are all
// the connection gives it: it never reads or writes the socket itself.
class ByteLayer
{
public:
    virtual ~ByteLayer() = default;

    // The bytes that carry these on the wire.
    virtual QByteArray toWire(const QByteArray &bytes) = 0;
    // Bytes taken off the wire: what they carry is added to the answer.
    virtual void fromWire(QByteArray received, QByteArray &answer) = 0;
};

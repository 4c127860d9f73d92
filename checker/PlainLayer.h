#pragma once

#include "checker/ByteLayer.h"

// Plain text: the bytes on the wire are the request and the answer themselves.
class PlainLayer final : public ByteLayer
{
public:
    QByteArray open(const QByteArray &request) override { return request; }
    QByteArray fromWire(QByteArray received, QByteArray &answer) override;
};

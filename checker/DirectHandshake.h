#pragma once

#include "checker/Handshake.h"

// No proxy at all: the connection is to the target itself, open from the start, and the request is written for it.
class DirectHandshake final : public Handshake
{
public:
    Step opening() const override { return open(0); }
    Step onReply(QByteArrayView) override { return open(0); }
};

#pragma once

#include "checker/Handshake.h"

// SOCKS 4: the echo host's address, or, when it is not known, its name for the proxy to look up (SOCKS 4a); the
// user of the credentials is the user id.
class Socks4Handshake final : public Handshake
{
public:
    Socks4Handshake(const std::optional<ProxyAddress::Credentials> &credentials, const EchoHost &echo);

    Step opening() const override { return needMore(m_request); }
    Step onReply(QByteArrayView reply) override;
    bool heard() const override { return m_heard; }

    // Whether the bytes begin as a SOCKS 4 server's reply does, granting or refusing.
    static bool isReply(QByteArrayView bytes);

private:
    QByteArray m_request;
    bool m_heard = false;
};

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

private:
    QByteArray m_request;
};

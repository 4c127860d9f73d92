#pragma once

#include "checker/Handshake.h"

// SOCKS 4: the target's address, or, when it is not known, its name for the proxy to look up (SOCKS 4a); the
// user of the credentials is the user id.
class Socks4Handshake final : public Handshake
{
public:
    Socks4Handshake(const std::optional<ProxyAddress::Credentials> &credentials, const ProbeTarget &target);

    Step opening() const override { return needMore(m_request); }
    Step onReply(QByteArrayView reply) override;
    std::optional<ProxyAddress::Protocol> heard() const override
    {
        return m_heard ? std::optional(ProxyAddress::Protocol::Socks4) : std::nullopt;
    }

    // Whether the bytes begin as a SOCKS 4 server's reply does, granting or refusing.
    static bool isReply(QByteArrayView bytes);

private:
    QByteArray m_request;
    bool m_heard = false;
};

#pragma once

#include "checker/Handshake.h"

// A CONNECT tunnel to the target (the https:// scheme), granted by a 2xx status line.
class ConnectHandshake final : public Handshake
{
public:
    ConnectHandshake(const std::optional<ProxyAddress::Credentials> &credentials, const ProbeTarget &target);

    Step opening() const override { return needMore(m_request); }
    Step onReply(QByteArrayView reply) override;

private:
    QByteArray m_request;
};

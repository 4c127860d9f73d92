#pragma once

#include "checker/Handshake.h"

// An HTTP proxy is asked for the echo host's page at once, in absolute form: the request is the opening.
class HttpHandshake final : public Handshake
{
public:
    HttpHandshake(const std::optional<ProxyAddress::Credentials> &credentials, const EchoHost &echo,
                  const QByteArray &token = {});

    Step opening() const override { return {m_request, 0, Step::Open}; }
    // Never asked: whatever comes is the echo host's answer.
    Step onReply(QByteArrayView) override { return open(0); }

private:
    QByteArray m_request;
};

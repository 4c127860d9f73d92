#pragma once

#include "checker/Handshake.h"

// An HTTP proxy is asked at once, in absolute form, with the row's credentials: it is open from the start.
class HttpHandshake final : public Handshake
{
public:
    explicit HttpHandshake(std::optional<ProxyAddress::Credentials> credentials) : m_credentials(std::move(credentials))
    {}

    Step opening() const override { return open(0); }
    // Never asked: whatever comes is the answer.
    Step onReply(QByteArrayView) override { return open(0); }
    QByteArray request(const ProbeJudgement &asked) const override;

private:
    std::optional<ProxyAddress::Credentials> m_credentials;
};

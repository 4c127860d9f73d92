#pragma once

#include "checker/Handshake.h"

// SOCKS 5 (RFC 1928), with a login by user and password (RFC 1929) when the row has credentials and the proxy asks
// for them. One parser per reply: the method chosen, the login's verdict, the CONNECT's.
class Socks5Handshake final : public Handshake
{
public:
    Socks5Handshake(std::optional<ProxyAddress::Credentials> credentials, const EchoHost &echo);

    Step opening() const override;
    Step onReply(QByteArrayView reply) override { return (this->*m_parser)(reply); }

private:
    Step onChoice(QByteArrayView reply);
    Step onLogin(QByteArrayView reply);
    Step onConnectReply(QByteArrayView reply);
    // The CONNECT to the echo host goes out, in place of a reply of the given length.
    Step connect(qsizetype consumed);

    std::optional<ProxyAddress::Credentials> m_credentials;
    QByteArray m_connect;
    Step (Socks5Handshake::*m_parser)(QByteArrayView) = &Socks5Handshake::onChoice;
};

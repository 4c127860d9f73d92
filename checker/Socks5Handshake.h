#pragma once

#include "checker/Handshake.h"

// SOCKS 5 (RFC 1928), with a login by user and password (RFC 1929) when the row has credentials and the proxy asks
// for them. One parser per reply: the method chosen, the login's verdict, the CONNECT's.
//
// Searching for a proxy's protocol, the greeting offers "none" again up to its ninth byte, then four methods no server
// has, the bytes CR LF CR LF. An HTTP proxy reads it as a request line and the blank line that ends a request's
// header, and answers it at once rather than waiting for more; a SOCKS 4 server reads a whole request of its own,
// its user id ended by the ninth byte, and answers it or closes.
class Socks5Handshake final : public Handshake
{
public:
    Socks5Handshake(std::optional<ProxyAddress::Credentials> credentials, const ProbeTarget &target,
                    bool searching = false);

    Step opening() const override;
    Step onReply(QByteArrayView reply) override { return (this->*m_parser)(reply); }
    // A SOCKS 5 server's reply to the greeting: two bytes, version 5 and a method offered, or none acceptable.
    std::optional<ProxyAddress::Protocol> heard() const override
    {
        return m_heard ? std::optional(ProxyAddress::Protocol::Socks5) : std::nullopt;
    }

private:
    Step onChoice(QByteArrayView reply);
    Step onLogin(QByteArrayView reply);
    Step onConnectReply(QByteArrayView reply);
    // The CONNECT to the target goes out, in place of a reply of the given length.
    Step connect(qsizetype consumed);

    std::optional<ProxyAddress::Credentials> m_credentials;
    bool m_searching = false;
    bool m_heard = false;
    QByteArray m_connect;
    Step (Socks5Handshake::*m_parser)(QByteArrayView) = &Socks5Handshake::onChoice;
};

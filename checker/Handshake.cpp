#include "checker/Handshake.h"

#include "checker/ConnectHandshake.h"
#include "checker/HttpHandshake.h"
#include "checker/Socks4Handshake.h"
#include "checker/Socks5Handshake.h"

std::unique_ptr<Handshake> Handshake::create(const ProxyAddress &proxy, const EchoHost &echo, const QByteArray &token,
                                             bool searching)
{
    switch (proxy.protocol) {
    case ProxyAddress::Protocol::Http:
        return std::make_unique<HttpHandshake>(proxy.credentials, echo, token);
    case ProxyAddress::Protocol::Connect:
        return std::make_unique<ConnectHandshake>(proxy.credentials, echo);
    case ProxyAddress::Protocol::Socks4:
        return std::make_unique<Socks4Handshake>(proxy.credentials, echo);
    case ProxyAddress::Protocol::Socks5:
        break;
    }
    return std::make_unique<Socks5Handshake>(proxy.credentials, echo, searching);
}

QByteArray Handshake::proxyAuthorization(const std::optional<ProxyAddress::Credentials> &credentials)
{
    if (!credentials)
        return {};
    return "Proxy-Authorization: Basic " + QByteArray(credentials->user + ':' + credentials->password).toBase64() +
           "\r\n";
}

QByteArray Handshake::bigEndian32(quint32 value)
{
    return bigEndian16(quint16(value >> 16)) + bigEndian16(quint16(value & 0xffff));
}

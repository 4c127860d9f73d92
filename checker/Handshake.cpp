#include "checker/Handshake.h"

#include "checker/ConnectHandshake.h"
#include "checker/HttpHandshake.h"
#include "checker/ProbeJudgement.h"
#include "checker/Socks4Handshake.h"
#include "checker/Socks5Handshake.h"

std::unique_ptr<Handshake> Handshake::create(const ProxyAddress &proxy, const ProbeTarget &target, bool searching)
{
    switch (proxy.protocol) {
    case ProxyAddress::Protocol::Http:
        return std::make_unique<HttpHandshake>(proxy.credentials);
    case ProxyAddress::Protocol::Connect:
        return std::make_unique<ConnectHandshake>(proxy.credentials, target);
    case ProxyAddress::Protocol::Socks4:
        return std::make_unique<Socks4Handshake>(proxy.credentials, target);
    case ProxyAddress::Protocol::Socks5:
        break;
    }
    return std::make_unique<Socks5Handshake>(proxy.credentials, target, searching);
}

QByteArray Handshake::request(const ProbeJudgement &asked) const
{
    return asked.directRequest();
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

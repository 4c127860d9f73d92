#include "checker/HttpHandshake.h"

#include "checker/EchoHost.h"

HttpHandshake::HttpHandshake(const std::optional<ProxyAddress::Credentials> &credentials, const EchoHost &echo,
                             const QByteArray &token)
    : m_request(echo.proxyRequest(proxyAuthorization(credentials), token))
{}

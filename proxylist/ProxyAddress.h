#pragma once

#include <QLatin1StringView>
#include <QString>

#include <optional>

// Where a row points and how to speak to it. A row may begin with a scheme, http://, https://, socks4:// or
// socks5:// in any letter case, and after it credentials user:password@; what follows is the host:port text that
// the line test reads. A bare row is that text alone, and speaks the protocol a check gives bare rows (HTTP
// unless told otherwise).
struct ProxyAddress
{
    enum class Protocol { Http, Https, Socks4, Socks5 };

    Protocol protocol = Protocol::Http;
    bool hasCredentials = false;
    QString user;
    QString password;
    // The row from the host to the end of the port: the host, ":" and the port, not what follows a second colon.
    QString hostPort;
    // Read from hostPort with the line test's number rules: an IPv4 address in host order, and a port.
    quint32 address = 0;
    quint16 port = 0;

    // The scheme that names a protocol in a row, in lower case, "://" included.
    static QLatin1StringView scheme(Protocol protocol)
    {
        constexpr QLatin1StringView Schemes[] = {QLatin1StringView("http://"), QLatin1StringView("https://"),
                                                 QLatin1StringView("socks4://"), QLatin1StringView("socks5://")};
        return Schemes[int(protocol)];
    }
    // The protocol of "http", "https", "socks4" or "socks5"; nothing for any other name.
    static std::optional<Protocol> protocolNamed(QStringView name)
    {
        for (const Protocol protocol : {Protocol::Http, Protocol::Https, Protocol::Socks4, Protocol::Socks5}) {
            if (name.compare(scheme(protocol).chopped(3), Qt::CaseInsensitive) == 0)
                return protocol;
        }
        return std::nullopt;
    }
};

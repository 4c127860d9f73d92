#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QLatin1StringView>
#include <QString>

#include <array>
#include <optional>

// Where a row points and how to speak to it, read from the row once. A row may begin with a scheme, http://,
// https://, socks4:// or socks5:// in any letter case, and after it credentials user:password@, where %XX stands for
// a byte; what follows is the host:port text that the line test reads, or a host name or an IPv6 address in brackets
// and a port. A bare row is that text alone, and speaks the protocol a check gives bare rows (HTTP unless told
// otherwise); written host:port:user:pass, it carries credentials, byte for byte.
struct ProxyAddress
{
    // Connect is the https:// scheme: a CONNECT tunnel to the echo host, with no TLS in it.
    enum class Protocol { Http, Connect, Socks4, Socks5 };
    static constexpr int ProtocolCount = int(Protocol::Socks5) + 1;
    // Every protocol, each once: what a scheme or a protocol's name is looked up in.
    static constexpr std::array<Protocol, ProtocolCount> Protocols = [] {
        std::array<Protocol, ProtocolCount> every{};
        for (int p = 0; p < ProtocolCount; ++p)
            every[size_t(p)] = Protocol(p);
        return every;
    }();

    // The row's bytes, as the proxy is to get them.
    struct Credentials
    {
        QByteArray user;
        QByteArray password;
    };

    Protocol protocol = Protocol::Http;
    std::optional<Credentials> credentials;
    // The row from the host to the end of the port: the host, ":" and the port, not what follows a second colon.
    // The anonymity verdict compares its host, as text, with what the echo page saw.
    QString hostPort;
    // Read from hostPort with the line test's number rules; an IPv6 address as written in its brackets. Null when the
    // row names its host.
    QHostAddress host;
    // The host name a schemed row gives, looked up when the row is probed; empty when the row gives an address.
    QString hostName;
    quint16 port = 0;

    // The scheme that names a protocol in a row, in lower case, "://" included.
    static constexpr QLatin1StringView scheme(Protocol protocol)
    {
        switch (protocol) {
        case Protocol::Http:
            return QLatin1StringView("http://");
        case Protocol::Connect:
            return QLatin1StringView("https://");
        case Protocol::Socks4:
            return QLatin1StringView("socks4://");
        case Protocol::Socks5:
            break;
        }
        return QLatin1StringView("socks5://");
    }
    // The protocol's name in the window's words, to be translated in the "ProxyAddress" context.
    static constexpr const char *words(Protocol protocol)
    {
        switch (protocol) {
        case Protocol::Http:
            return QT_TRANSLATE_NOOP("ProxyAddress", "HTTP");
        case Protocol::Connect:
            return QT_TRANSLATE_NOOP("ProxyAddress", "HTTPS tunnel");
        case Protocol::Socks4:
            return QT_TRANSLATE_NOOP("ProxyAddress", "SOCKS 4");
        case Protocol::Socks5:
            break;
        }
        return QT_TRANSLATE_NOOP("ProxyAddress", "SOCKS 5");
    }
    // The protocol of "http", "https", "socks4" or "socks5"; nothing for any other name.
    static std::optional<Protocol> protocolNamed(QStringView name)
    {
        for (const Protocol protocol : Protocols) {
            if (name.compare(scheme(protocol).chopped(3), Qt::CaseInsensitive) == 0)
                return protocol;
        }
        return std::nullopt;
    }
};

namespace EnumCount {
// Names the last protocol, so that one added after it must move ProtocolCount on.
constexpr bool isLast(ProxyAddress::Protocol protocol)
{
    switch (protocol) {
    case ProxyAddress::Protocol::Http:
    case ProxyAddress::Protocol::Connect:
    case ProxyAddress::Protocol::Socks4:
        return false;
    case ProxyAddress::Protocol::Socks5:
        return true;
    }
    return false;
}
} // namespace EnumCount
static_assert(EnumCount::isLast(ProxyAddress::Protocol(ProxyAddress::ProtocolCount - 1)),
              "ProtocolCount counts every protocol");

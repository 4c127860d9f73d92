#include "checker/Socks5Handshake.h"

#include "checker/ProbeTarget.h"

namespace {
constexpr char Version = 5;
constexpr char NoAuthentication = 0;
constexpr char UserPassword = 2;
// The server's choice when it takes none of the methods offered.
constexpr char NoAcceptableMethod = char(0xff);
constexpr char LoginVersion = 1;
constexpr char Succeeded = 0;
// Searching: 11 methods, their last four the bytes of two ends of line, which no server has.
constexpr qsizetype SearchingMethods = 11;
constexpr char CarriageReturn = '\r';
constexpr char LineFeed = '\n';
// Address types.
constexpr char IPv4 = 1;
constexpr char DomainName = 3;
constexpr char IPv6 = 4;
// A reply up to its address type and the address's first byte: a domain name's length.
constexpr qsizetype ReplyHead = 5;
} // namespace

Socks5Handshake::Socks5Handshake(std::optional<ProxyAddress::Credentials> credentials, const ProbeTarget &target,
                                 bool searching)
    : m_credentials(std::move(credentials)), m_searching(searching)
{
    // Version 5, CONNECT, reserved, then the target: by its address when the name is one, else by name, for the
    // proxy to look up; then its port.
    const QByteArray host = target.nameIsAddress && target.address ? IPv4 + bigEndian32(*target.address)
                                                                   : DomainName + counted(target.name.toLatin1());
    m_connect = bytes({Version, 1, 0}) + host + bigEndian16(target.port);
}

Handshake::Step Socks5Handshake::opening() const
{
    // The methods offered: none, and the login when there are credentials.
    QByteArray methods = m_credentials ? bytes({NoAuthentication, UserPassword}) : bytes({NoAuthentication});
    if (m_searching) {
        methods.resize(SearchingMethods - 4, NoAuthentication);
        methods += bytes({CarriageReturn, LineFeed, CarriageReturn, LineFeed});
    }
    return needMore(Version + counted(methods));
}

Handshake::Step Socks5Handshake::onChoice(QByteArrayView reply)
{
    if (reply.size() < 2)
        return needMore();
    // A server says nothing more before the client's next message: more bytes at once are no choice of method but
    // something else, the greeting echoed back, say. A server that chose no method is a SOCKS 5 server all the same.
    const bool offered = reply[1] == NoAuthentication || (reply[1] == UserPassword && m_credentials);
    m_heard = reply.size() == 2 && reply[0] == Version && (offered || reply[1] == NoAcceptableMethod);
    if (!m_heard || !offered)
        return refused();
    if (reply[1] == NoAuthentication)
        return connect(2);
    // RFC 1929: version 1, then the user and the password.
    m_parser = &Socks5Handshake::onLogin;
    return needMore(LoginVersion + counted(m_credentials->user) + counted(m_credentials->password), 2);
}

Handshake::Step Socks5Handshake::onLogin(QByteArrayView reply)
{
    if (reply.size() < 2)
        return needMore();
    // RFC 1929: version 1, then 0 for success.
    return reply[0] == LoginVersion && reply[1] == Succeeded ? connect(2) : refused();
}

Handshake::Step Socks5Handshake::connect(qsizetype consumed)
{
    m_parser = &Socks5Handshake::onConnectReply;
    return needMore(m_connect, consumed);
}

Handshake::Step Socks5Handshake::onConnectReply(QByteArrayView reply)
{
    if (reply.size() >= 2 && (reply[0] != Version || reply[1] != Succeeded))
        return refused();
    if (reply.size() < ReplyHead)
        return needMore();
    // The address the proxy connected from, then its port.
    const qsizetype length = reply[3] == IPv4         ? 4 + 4 + 2
                             : reply[3] == DomainName ? 4 + 1 + uchar(reply[4]) + 2
                             : reply[3] == IPv6       ? 4 + 16 + 2
                                                      : -1;
    if (length < 0)
        return refused();
    return reply.size() < length ? needMore() : open(length);
}

#include "checker/Socks4Handshake.h"

#include "checker/ProbeTarget.h"

namespace {
// The reply: version 0 (some servers send 4), 90 when granted, then six bytes.
constexpr qsizetype ReplyLength = 8;
constexpr char Granted = 90;
// Refused, refused for want of an ident server, refused for a user the ident server does not know.
constexpr char LastRefusal = 93;
// SOCKS 4a: an address of 0.0.0.x asks the proxy to look the name up.
constexpr quint32 NameFollows = 1;
} // namespace

Socks4Handshake::Socks4Handshake(const std::optional<ProxyAddress::Credentials> &credentials, const ProbeTarget &target)
{
    // Version 4, CONNECT, the port and the address, then the user id; SOCKS 4a adds the name to look up.
    const QByteArray user = (credentials ? credentials->user : QByteArray()) + '\0';
    const QByteArray head = bytes({4, 1}) + bigEndian16(target.port);
    if (target.address)
        m_request = head + bigEndian32(*target.address) + user;
    else
        m_request = head + bigEndian32(NameFollows) + user + target.name.toLatin1() + '\0';
}

Handshake::Step Socks4Handshake::onReply(QByteArrayView reply)
{
    if (reply.size() < ReplyLength)
        return needMore();
    m_heard = isReply(reply);
    return m_heard && reply[1] == Granted ? open(ReplyLength) : refused();
}

bool Socks4Handshake::isReply(QByteArrayView bytes)
{
    return bytes.size() >= 2 && (bytes[0] == 0 || bytes[0] == 4) && bytes[1] >= Granted && bytes[1] <= LastRefusal;
}

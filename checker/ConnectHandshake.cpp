#include "checker/ConnectHandshake.h"

#include "checker/ProbeTarget.h"

#include <QRegularExpression>

namespace {
// A status line at least this long that does not start with "HTTP/" is no HTTP answer, whatever follows.
constexpr qsizetype StatusLineStart = 12;
} // namespace

ConnectHandshake::ConnectHandshake(const std::optional<ProxyAddress::Credentials> &credentials,
                                   const ProbeTarget &target)
{
    // An IPv6 address goes in brackets, as in an address.
    const QByteArray name = target.name.toLatin1();
    const QByteArray host = name.contains(':') ? '[' + name + ']' : name;
    const QByteArray hostPort = host + ':' + QByteArray::number(target.port);
    m_request =
        "CONNECT " + hostPort + " HTTP/1.1\r\nHost: " + hostPort + "\r\n" + proxyAuthorization(credentials) + "\r\n";
}

Handshake::Step ConnectHandshake::onReply(QByteArrayView reply)
{
    // A status line of 2xx, then headers to an empty line.
    const qsizetype lineEnd = reply.indexOf("\r\n");
    if (lineEnd < 0)
        return reply.size() >= StatusLineStart && !reply.startsWith("HTTP/") ? refused() : needMore();
    static const QRegularExpression granted(QStringLiteral("^HTTP/1\\.[01] 2[0-9][0-9]( |$)"));
    if (!granted.match(QString::fromLatin1(reply.first(lineEnd))).hasMatch())
        return refused();
    const qsizetype headersEnd = reply.indexOf("\r\n\r\n");
    return headersEnd < 0 ? needMore() : open(headersEnd + 4);
}

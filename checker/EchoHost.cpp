#include "checker/EchoHost.h"

#include <QHostAddress>
#include <QRegularExpression>

const QString EchoHost::Default = QStringLiteral("checkip.dyndns.org");

std::optional<EchoHost> EchoHost::parse(const QString &text)
{
    // Anchored at the very end: "$" alone would let a final line break through.
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("([A-Za-z0-9._-]{1,253})(?::([0-9]{1,5}))?")));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    EchoHost host;
    host.m_text = text;
    host.m_name = match.captured(1);
    if (match.hasCaptured(2)) {
        const int port = match.captured(2).toInt();
        if (port < 1 || port > 65535)
            return std::nullopt;
        host.m_port = quint16(port);
    }
    if (QHostAddress literal; literal.setAddress(host.m_name) && literal.protocol() == QAbstractSocket::IPv4Protocol) {
        host.m_address = literal.toIPv4Address();
        host.m_isAddress = true;
    }
    return host;
}

void EchoHost::setAddressFrom(const QList<QHostAddress> &found)
{
    for (const QHostAddress &address : found) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return setAddress(address.toIPv4Address());
    }
}

QByteArray EchoHost::path(const QByteArray &token) const
{
    // Without a token, "/" as ever: any echo host is asked as it always was.
    if (m_key && !token.isEmpty())
        return '/' + m_key->id + '/' + token;
    return '/' + token;
}

QByteArray EchoHost::proxyRequest(const QByteArray &headerLines, const QByteArray &token) const
{
    return "GET http://" + m_text.toLatin1() + path(token) + " HTTP/1.0\r\n" + headerLines + "\r\n\r\n";
}

QByteArray EchoHost::directRequest(const QByteArray &token) const
{
    return "GET " + path(token) + " HTTP/1.0\r\nHost: " + m_text.toLatin1() + "\r\n\r\n";
}

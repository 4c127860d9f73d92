#include "checker/ProbeExchange.h"

#include "checker/EchoPage.h"
#include "proxylist/TextFunctions.h"

#include <QRegularExpression>

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {
using Protocol = ProxyAddress::Protocol;

const ProxyResult Refused = ProxyResult::failed(ProxyStatus::InvalidResponse);

// SOCKS 5 (RFC 1928, RFC 1929).
constexpr char Socks5 = 5;
constexpr char NoAuthentication = 0;
constexpr char UserPassword = 2;
constexpr char LoginVersion = 1;
constexpr char Succeeded = 0;
constexpr char IPv4 = 1;
constexpr char DomainName = 3;
constexpr char IPv6 = 4;
// SOCKS 4: the reply's version byte is 0 (some servers send 4), and 90 grants the request.
constexpr char Socks4Granted = 90;
// SOCKS 4a: an address of 0.0.0.x asks the proxy to look the name up.
constexpr quint32 Socks4aAddress = 1;

QByteArray bytes(std::initializer_list<char> list)
{
    return QByteArray(list.begin(), qsizetype(list.size()));
}

QByteArray bigEndian16(quint16 value)
{
    return bytes({char(value >> 8), char(value & 0xff)});
}

QByteArray bigEndian32(quint32 value)
{
    return bigEndian16(quint16(value >> 16)) + bigEndian16(quint16(value & 0xffff));
}

// The bytes of an answer that tell a status line asking for credentials.
constexpr qsizetype StatusLineHead = 16;

// An HTTP status line asking for credentials: 401, or 407 as RFC 7235 has a proxy say it.
bool refusesCredentials(const QByteArray &answer)
{
    static const QRegularExpression refused(QStringLiteral("^HTTP/1\\.[01] 40[17][ \\r]"));
    return refused.match(QString::fromLatin1(answer.first(std::min(answer.size(), StatusLineHead)))).hasMatch();
}

// A length byte and the bytes: the credentials of RFC 1929 and a SOCKS 5 domain name are at most 255 bytes.
QByteArray counted(const QByteArray &bytes)
{
    return char(bytes.size()) + bytes;
}
} // namespace

std::optional<ProxyResult> ProbeExchange::onConnected(ProbeSocket &socket)
{
    switch (m_proxy.protocol) {
    case Protocol::Http:
        return send(socket,
                    m_echo.proxyRequest(m_proxy.hasCredentials ? "Proxy-Authorization: Basic " + basicCredentials()
                                                               : QByteArray()),
                    Stage::Answering);
    case Protocol::Https:
        return send(socket, connectRequest(), Stage::Opening);
    case Protocol::Socks4:
        return send(socket, socks4Request(), Stage::Opening);
    case Protocol::Socks5:
        break;
    }
    const QByteArray methods =
        m_proxy.hasCredentials ? bytes({NoAuthentication, UserPassword}) : bytes({NoAuthentication});
    return send(socket, Socks5 + counted(methods), Stage::Choosing);
}

std::optional<ProxyResult> ProbeExchange::send(ProbeSocket &socket, const QByteArray &bytes, Stage next)
{
    m_stage = next;
    if (socket.send(bytes))
        return std::nullopt;
    return onFailed(socket);
}

std::optional<ProxyResult> ProbeExchange::onData(ProbeSocket &socket)
{
    std::optional<ProxyResult> result;
    switch (m_stage) {
    case Stage::Answering:
        break;
    case Stage::Choosing:
        result = onSocks5Choice(socket);
        break;
    case Stage::Authenticating:
        result = onSocks5Login(socket);
        break;
    case Stage::Opening:
        result = onOpened(socket);
        break;
    }
    // The echo host's answer, in its own stage or right behind the reply that opened a tunnel.
    if (!result && m_stage == Stage::Answering)
        return answered(socket.answer());
    // A handshake is a few bytes, a CONNECT answer's headers at most an answer's keep: one that goes on is not a
    // proxy of the row's protocol.
    if (!result && socket.answer().size() >= ProbeSocket::MaxAnswerBytes)
        return Refused;
    return result;
}

std::optional<ProxyResult> ProbeExchange::answered(const QByteArray &answer)
{
    const qsizetype looked = std::exchange(m_looked, answer.size());
    // Credentials asked for are told by the status line: the proxy may keep the connection, or reset it.
    if (looked < StatusLineHead && refusesCredentials(answer))
        return Refused;
    const QLatin1StringView start = EchoPage::StartMarker, end = EchoPage::EndMarker;
    if (m_pageStart < 0)
        m_pageStart = answer.indexOf(start, std::max<qsizetype>(0, looked - start.size() + 1));
    if (m_pageStart < 0)
        return std::nullopt;
    // The end marker after the start marker, where it can only have come now.
    const qsizetype from = std::max(m_pageStart + start.size(), looked - end.size() + 1);
    return answer.indexOf(end, from) < 0 ? std::nullopt : std::optional(judge(answer, m_proxy.hostPort));
}

std::optional<ProxyResult> ProbeExchange::onSocks5Choice(ProbeSocket &socket)
{
    const QByteArray &reply = socket.answer();
    if (reply.size() < 2)
        return std::nullopt;
    if (reply[0] != Socks5 || (reply[1] != NoAuthentication && (reply[1] != UserPassword || !m_proxy.hasCredentials)))
        return Refused;
    const bool login = reply[1] == UserPassword;
    socket.consume(2);
    if (!login)
        return send(socket, socks5Request(), Stage::Opening);
    // RFC 1929: version 1, then the user and the password.
    return send(socket, LoginVersion + counted(m_proxy.user.toLatin1()) + counted(m_proxy.password.toLatin1()),
                Stage::Authenticating);
}

std::optional<ProxyResult> ProbeExchange::onSocks5Login(ProbeSocket &socket)
{
    const QByteArray &reply = socket.answer();
    if (reply.size() < 2)
        return std::nullopt;
    // RFC 1929: version 1, then 0 for success.
    if (reply[0] != LoginVersion || reply[1] != Succeeded)
        return Refused;
    socket.consume(2);
    return send(socket, socks5Request(), Stage::Opening);
}

std::optional<ProxyResult> ProbeExchange::onOpened(ProbeSocket &socket)
{
    const QByteArray &reply = socket.answer();
    if (m_proxy.protocol == Protocol::Socks4) {
        if (reply.size() < 8)
            return std::nullopt;
        return (reply[0] == 0 || reply[0] == 4) && reply[1] == Socks4Granted ? ask(socket, 8) : Refused;
    }
    if (m_proxy.protocol == Protocol::Socks5) {
        if (reply.size() < 5)
            return reply.size() >= 2 && (reply[0] != Socks5 || reply[1] != Succeeded) ? std::optional(Refused)
                                                                                      : std::nullopt;
        if (reply[0] != Socks5 || reply[1] != Succeeded)
            return Refused;
        // The address the proxy connected from, then its port.
        const qsizetype length = reply[3] == IPv4         ? 4 + 4 + 2
                                 : reply[3] == DomainName ? 4 + 1 + uchar(reply[4]) + 2
                                 : reply[3] == IPv6       ? 4 + 16 + 2
                                                          : -1;
        if (length < 0)
            return Refused;
        return reply.size() < length ? std::nullopt : ask(socket, length);
    }
    // CONNECT: a status line of 2xx, then headers to an empty line.
    const qsizetype lineEnd = reply.indexOf("\r\n");
    if (lineEnd < 0)
        return reply.size() >= 12 && !reply.startsWith("HTTP/") ? std::optional(Refused) : std::nullopt;
    static const QRegularExpression granted(QStringLiteral("^HTTP/1\\.[01] 2[0-9][0-9]( |$)"));
    if (!granted.match(QString::fromLatin1(reply.first(lineEnd))).hasMatch())
        return Refused;
    const qsizetype headersEnd = reply.indexOf("\r\n\r\n");
    return headersEnd < 0 ? std::nullopt : ask(socket, headersEnd + 4);
}

std::optional<ProxyResult> ProbeExchange::ask(ProbeSocket &socket, qsizetype replyLength)
{
    socket.consume(replyLength);
    return send(socket, m_echo.directRequest(), Stage::Answering);
}

ProxyResult ProbeExchange::onClosed(const ProbeSocket &socket) const
{
    // Closed before the tunnel was open: no answer of the echo host can have come.
    if (m_stage != Stage::Answering)
        return Refused;
    return judge(socket.answer(), m_proxy.hostPort);
}

ProxyResult ProbeExchange::onFailed(const ProbeSocket &socket) const
{
    if (m_stage == Stage::Answering && holdsCompletePage(socket.answer()))
        return judge(socket.answer(), m_proxy.hostPort);
    return ProxyResult::failed(ProxyStatus::Error);
}

ProxyResult ProbeExchange::judge(const QByteArray &answer, const QString &hostPort)
{
    const qsizetype start = answer.indexOf(EchoPage::StartMarker);
    if (start < 0)
        return Refused;
    // The rest runs to a second start marker, if the page holds one.
    const qsizetype restBegin = start + EchoPage::StartMarker.size();
    const qsizetype second = answer.indexOf(EchoPage::StartMarker, restBegin);
    const QString rest = QString::fromLatin1(answer.mid(restBegin, second < 0 ? -1 : second - restBegin));
    // Text against text, as the table shows it: 010.0.0.1 is not the 10.0.0.1 that the echo page saw.
    return ProxyResult::working(firstValue(hostPort, QStringLiteral(":")) ==
                                firstValue(rest, QString(EchoPage::EndMarker)));
}

bool ProbeExchange::holdsCompletePage(const QByteArray &answer)
{
    const qsizetype start = answer.indexOf(EchoPage::StartMarker);
    return start >= 0 && answer.indexOf(EchoPage::EndMarker, start + EchoPage::StartMarker.size()) >= 0;
}

QByteArray ProbeExchange::basicCredentials() const
{
    // RFC 7617: user, colon, password, in Base64.
    return (m_proxy.user + u':' + m_proxy.password).toLatin1().toBase64();
}

QByteArray ProbeExchange::connectRequest() const
{
    const QByteArray target = m_echo.name().toLatin1() + ':' + QByteArray::number(m_echo.port());
    QByteArray request = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
    if (m_proxy.hasCredentials)
        request += "Proxy-Authorization: Basic " + basicCredentials() + "\r\n";
    return request + "\r\n";
}

QByteArray ProbeExchange::socks4Request() const
{
    // Version 4, CONNECT, the port and the address, then the user id; SOCKS 4a adds the name to look up.
    const QByteArray user = m_proxy.user.toLatin1() + '\0';
    const QByteArray head = bytes({4, 1}) + bigEndian16(m_echo.port());
    if (const std::optional<quint32> address = m_echo.address())
        return head + bigEndian32(*address) + user;
    return head + bigEndian32(Socks4aAddress) + user + m_echo.name().toLatin1() + '\0';
}

QByteArray ProbeExchange::socks5Request() const
{
    // Version 5, CONNECT, reserved, then the echo host: by its address when the name is one, else by name, for the
    // proxy to look up.
    const QByteArray head = bytes({Socks5, 1, 0});
    const QByteArray target =
        m_echo.isAddress() ? IPv4 + bigEndian32(*m_echo.address()) : DomainName + counted(m_echo.name().toLatin1());
    return head + target + bigEndian16(m_echo.port());
}

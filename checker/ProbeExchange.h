#pragma once

#include "checker/EchoHost.h"
#include "checker/Handshake.h"
#include "checker/ProbeSocket.h"
#include "proxylist/ProxyAddress.h"
#include "proxylist/ProxyResult.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

// What a probe's answer is held against.
struct ProbeExpectation
{
    // The address the probe's own echo host showed when asked directly: the user's, as that host sees it, which a
    // proxy must hide. Nothing when the echo hosts were not asked.
    std::optional<QHostAddress> yourAddress;
    // The probe's own token, which a Korvane echo host's page must carry; empty for any other echo host.
    QByteArray token;
    // The addresses of a proxy whose row names its host or gives an IPv6 address: without your addresses, the
    // proxy is anonymous when its page shows one of these. Empty for a dotted row, whose text is compared.
    QList<QHostAddress> proxyAddresses;
    // The key the Korvane echo host offered when asked directly: its page must be signed with it (EchoSignature).
    // None for an older Korvane echo host, whose page only carries the token.
    std::optional<EchoKey> key = std::nullopt;
};

// The exchange of one probe with its proxy: the handshake of the proxy's protocol, then through the proxy the
// IP-echo host's page "/", and the answer that came before the proxy closed turned into the row's verdict. Each
// handler says what an event of the probe's connection means: a verdict, or nothing yet.
class ProbeExchange
{
public:
    using Expectation = ProbeExpectation;

    // A Korvane echo host is asked with a fresh token. Searching for the proxy's protocol, a SOCKS 5 exchange opens
    // with a greeting every kind of proxy answers.
    ProbeExchange(const ProxyAddress &proxy, const EchoHost &echo, const std::optional<QHostAddress> &yourAddress,
                  bool searching = false);

    const EchoHost &echo() const { return m_echo; }
    // Whether the connection was made, and whether the proxy let the probe through to the echo host.
    bool connected() const { return m_connected; }
    bool opened() const { return m_answering; }
    // The protocol the proxy answered in, if it is one a probe speaks: its handshake's own, or what the unread
    // answer begins as (a SOCKS 4 reply, an HTTP status line).
    std::optional<ProxyAddress::Protocol> heard(const ProbeSocket &socket) const;

    // Where the proxy's name led, or its IPv6 address.
    void setProxyAddresses(const QList<QHostAddress> &addresses) { m_expected.proxyAddresses = addresses; }

    // Connected: the handshake's opening goes out.
    std::optional<ProxyResult> onConnected(ProbeSocket &socket);
    // More came in: the handshake's next step, which may refuse the proxy or open it to the echo host's request;
    // the echo host's answer is a verdict as soon as it holds the whole page or asks for credentials.
    std::optional<ProxyResult> onData(ProbeSocket &socket);
    // Closed by the proxy: the verdict on what came through the open tunnel, if one was opened.
    ProxyResult onClosed(const ProbeSocket &socket) const;
    // Refused, unreachable, reset, broken: "Error", unless the whole echo page had come in by then. A proxy that
    // reads only up to the end of the request's header section leaves the last CR LF unread, and its close then
    // goes out as a reset: the page it sent is judged as an orderly close would be.
    ProxyResult onFailed(const ProbeSocket &socket) const;

    // The verdict on a complete answer received through a proxy whose row reads hostPort from its host on. When
    // your address is known, a page must show an address, and the proxy is anonymous unless the page shows yours
    // anywhere; when it is not, anonymous when its page shows the proxy's own host as the row writes it. With a
    // token, the page must carry it, and the proxy is graded by what the echo host saw.
    static ProxyResult judge(const QByteArray &answer, const QString &hostPort, const Expectation &expected = {});
    // The exit address a working proxy's answer shows, as it is printed: the page's address, or the first address in
    // its text when it shows more than one; an IPv4 address that came as IPv6 (::ffff:a.b.c.d) written as IPv4.
    // Empty when the page shows none.
    static QString exitAddress(const QByteArray &answer);
    // 128 random bits from the system's source, as 32 hexadecimal digits: no proxy can guess one.
    static QByteArray freshToken();
    // Whether the answer holds the start marker and, after it, the end marker.
    static bool holdsCompletePage(const QByteArray &answer);

private:
    // The verdict when your address is not known: by the proxy's own.
    static ProxyResult judgeWithoutYou(const QString &shown, const QString &hostPort, const Expectation &expected);
    // The handshake's step on the reply so far; the echo host is asked once the proxy is open.
    std::optional<ProxyResult> stepHandshake(ProbeSocket &socket);
    std::optional<ProxyResult> send(ProbeSocket &socket, const QByteArray &bytes);
    // The answer so far: a verdict at once on a 401 or 407 status line or a whole page, whatever the connection
    // does next; nothing while neither has come.
    std::optional<ProxyResult> answered(const QByteArray &answer);

    QString m_hostPort;
    ProxyAddress::Protocol m_protocol;
    const EchoHost &m_echo;
    Expectation m_expected;
    std::unique_ptr<Handshake> m_handshake;
    bool m_connected = false;
    // Whether the proxy is open and what comes is the echo host's answer.
    bool m_answering = false;
    // How much of the answer has been looked at, and where its start marker is (-1: not found yet), so that each
    // look reads only what is new: a proxy may send a byte at a time.
    qsizetype m_looked = 0;
    qsizetype m_pageStart = -1;
};

#pragma once

#include "checker/EchoHost.h"
#include "checker/ProbeSocket.h"
#include "proxylist/ProxyAddress.h"
#include "proxylist/ProxyResult.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The exchange of one probe with its proxy: through the proxy, ask the IP-echo host for its page "/", and turn the
// answer that came before the proxy closed into the row's verdict. An HTTP proxy is asked at once; through any
// other, a tunnel to the echo host is opened first (CONNECT, or the SOCKS 4 or 5 handshake) and the page asked
// through it. Each handler says what an event of the probe's connection means: a verdict, or nothing yet.
class ProbeExchange
{
public:
    ProbeExchange(const ProxyAddress &proxy, const EchoHost &echo) : m_proxy(proxy), m_echo(echo) {}

    // Connected: the request, or the tunnel's first step, goes out.
    std::optional<ProxyResult> onConnected(ProbeSocket &socket);
    // More of the answer came in: the tunnel's next step may go out, or a tunnel refused end the exchange; the echo
    // host's answer is a verdict as soon as it holds the whole page or asks for credentials.
    std::optional<ProxyResult> onData(ProbeSocket &socket);
    // Closed by the proxy: the verdict on what came through the open tunnel, if one was opened.
    ProxyResult onClosed(const ProbeSocket &socket) const;
    // Refused, unreachable, reset, broken: "Error", unless the whole echo page had come in by then. A proxy that
    // reads only up to the end of the request's header section leaves the last CR LF unread, and its close then
    // goes out as a reset: the page it sent is judged as an orderly close would be.
    ProxyResult onFailed(const ProbeSocket &socket) const;

    // The verdict on a complete answer received through a proxy whose row reads hostPort from its host on.
    static ProxyResult judge(const QByteArray &answer, const QString &hostPort);
    // Whether the answer holds the start marker and, after it, the end marker.
    static bool holdsCompletePage(const QByteArray &answer);

private:
    enum class Stage { Choosing, Authenticating, Opening, Answering };

    // The tunnel's steps, each on the reply that has come in so far: nothing while it is incomplete.
    std::optional<ProxyResult> onSocks5Choice(ProbeSocket &socket);
    std::optional<ProxyResult> onSocks5Login(ProbeSocket &socket);
    std::optional<ProxyResult> onOpened(ProbeSocket &socket);
    // The tunnel is open: what came of its reply goes, the echo host is asked.
    std::optional<ProxyResult> ask(ProbeSocket &socket, qsizetype replyLength);
    std::optional<ProxyResult> send(ProbeSocket &socket, const QByteArray &bytes, Stage next);
    // The answer so far: a verdict at once on a 401 or 407 status line or a whole page, whatever the connection
    // does next; nothing while neither has come.
    std::optional<ProxyResult> answered(const QByteArray &answer);

    QByteArray basicCredentials() const;
    QByteArray connectRequest() const;
    QByteArray socks4Request() const;
    QByteArray socks5Request() const;

    ProxyAddress m_proxy;
    const EchoHost &m_echo;
    Stage m_stage = Stage::Answering;
    // How much of the answer has been looked at, and where its start marker is (-1: not found yet), so that each
    // look reads only what is new: a proxy may send a byte at a time.
    qsizetype m_looked = 0;
    qsizetype m_pageStart = -1;
};

#pragma once

#include "checker/ProbeSocket.h"
#include "proxylist/ProxyResult.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The probe exchange on a connection: through the proxy, ask the IP-echo host for its page "/", and turn the
// answer that came before the proxy closed into the row's verdict. It only says what each event of a probe means;
// the probes, which own the connections, write the verdict and let the connection go.
class ProbeExchange
{
public:
    // A long-lived public page that shows "Current IP Address: " and the caller's address, then "</body></html>".
    static const QString DefaultProbeHost;

    // host or host:port; tests point it at an echo server of their own.
    void setProbeHost(const QString &host) { m_probeHost = host; }
    // A host name or dotted address with an optional :port: nothing that could end the request line early.
    static bool isValidProbeHost(const QString &host);
    // The request line in absolute form, then CR LF three times; no header at all.
    QByteArray probeRequest() const;

    // The verdict on a complete answer received through the proxy of that row text.
    static ProxyResult judge(const QByteArray &answer, const QString &proxyText);
    // Whether the answer holds the start marker and, after it, the end marker.
    static bool holdsCompletePage(const QByteArray &answer);

    // Connected: sends the request; a verdict as onFailed() gives it when it did not go out, nothing while the
    // answer is awaited.
    std::optional<ProxyResult> onConnected(ProbeSocket &socket, const QString &proxyText) const;
    // Closed by the proxy: the verdict on what the connection kept of the answer.
    static ProxyResult onClosed(const ProbeSocket &socket, const QString &proxyText);
    // Refused, unreachable, reset, broken: "Error", unless the whole echo page had come in by then. A proxy that
    // reads only up to the end of the request's header section leaves the last CR LF unread, and its close then
    // goes out as a reset: the page it sent is judged as an orderly close would be.
    static ProxyResult onFailed(const ProbeSocket &socket, const QString &proxyText);

private:
    QString m_probeHost = DefaultProbeHost;
};

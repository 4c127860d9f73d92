#pragma once

#include "checker/SocketSlot.h"
#include "checker/Verdict.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The probe exchange on a socket slot: through the proxy, ask the IP-echo host for its page "/", and turn the
// answer that came before the proxy closed into the row's verdict. Its handlers only say what a slot's event
// means; the scheduler, which owns the slots, writes the verdict and releases the slot.
class ProbeExchange
{
public:
    // A long-lived public page that shows "Current IP Address: " and the caller's address, then "</body></html>".
    static const QString DefaultProbeHost;
    // What one answer may keep; an echo page is a few hundred bytes, and a hostile proxy must not fill the memory.
    static constexpr qsizetype MaxAnswerBytes = SocketSlot::MaxAnswerBytes;

    const QString &probeHost() const { return m_probeHost; }
    // host or host:port; tests point it at an echo server of their own.
    void setProbeHost(const QString &host) { m_probeHost = host; }
    // A host name or dotted address with an optional :port: nothing that could end the request line early.
    static bool isValidProbeHost(const QString &host);
    // The request line in absolute form, then CR LF three times; no header at all.
    QByteArray probeRequest() const;

    // The verdict on a complete answer received through the proxy of that row text.
    static Verdict judge(const QString &answer, const QString &proxyText);

    // Connected: sends the request; a verdict as onFailed() gives it when it did not go out, nothing while the
    // answer is awaited.
    std::optional<Verdict> onConnected(SocketSlot &slot, const QString &proxyText) const;
    // Closed by the proxy: the verdict on what the slot kept of the answer.
    static Verdict onClosed(const SocketSlot &slot, const QString &proxyText);
    // Refused, unreachable, reset, broken: "Error", unless the whole echo page had come in by then. A proxy that
    // reads only up to the end of the request's header section leaves the last CR LF unread, and its close then
    // goes out as a reset: the page it sent is judged as an orderly close would be.
    static Verdict onFailed(const SocketSlot &slot, const QString &proxyText);
    // Whether the answer holds the start marker and, after it, the end marker.
    static bool holdsCompletePage(const QByteArray &answer);

private:
    QString m_probeHost = DefaultProbeHost;
};

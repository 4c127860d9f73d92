#pragma once

#include "checker/ByteLayer.h"
#include "checker/Handshake.h"
#include "checker/ProbeJudgement.h"
#include "proxylist/ProxyAddress.h"
#include "proxylist/RowVerdict.h"

#include <QByteArray>

#include <memory>
#include <optional>

class ProbeSocket;

// The exchange of one probe over its connection: the handshake of the proxy's protocol, then, through the open
// tunnel and the byte layer, the judgement's request and its answer turned into the row's verdict. Each handler says
// what an event of the connection means: a verdict, or nothing yet.
class ProbeExchange
{
public:
    // Plain bytes through the tunnel unless a layer is given.
    ProbeExchange(std::unique_ptr<Handshake> handshake, std::unique_ptr<ProbeJudgement> judgement,
                  std::unique_ptr<ByteLayer> layer = nullptr);

    // Whether the connection was made, and whether the proxy let the probe through.
    bool connected() const { return m_connected; }
    bool opened() const { return m_answering; }
    // The protocol the proxy answered in, if it is one a probe speaks: its handshake's own, or what the unread
    // answer begins as (a SOCKS 4 reply, an HTTP status line).
    std::optional<ProxyAddress::Protocol> heard(const ProbeSocket &socket) const;
    // What came through the open tunnel, out of the byte layer.
    const QByteArray &answer() const { return m_answer; }

    // Connected: the handshake's opening goes out.
    std::optional<RowVerdict> onConnected(ProbeSocket &socket);
    // More came in: the handshake's next step, which may refuse the proxy or open it to the request; then the
    // judgement's look at the answer so far.
    std::optional<RowVerdict> onData(ProbeSocket &socket);
    // Closed by the proxy: the judgement on what came through the open tunnel, if one was opened.
    RowVerdict onClosed(ProbeSocket &socket);
    // Refused, unreachable, reset, broken: "Error", unless the judgement finds enough in what came through.
    RowVerdict onFailed(ProbeSocket &socket);

private:
    // The handshake's step on the reply so far; the request goes once the proxy is open.
    std::optional<RowVerdict> stepHandshake(ProbeSocket &socket);
    // The tunnel is open: what came right behind the handshake's last bytes is the answer.
    std::optional<RowVerdict> openTunnel(ProbeSocket &socket, const QByteArray &handshakeBytes);
    std::optional<RowVerdict> send(ProbeSocket &socket, const QByteArray &bytes);
    // What the connection kept since last time goes through the byte layer into the answer; returns what the
    // layer says back, to go out.
    QByteArray takeAnswer(ProbeSocket &socket);
    // The judgement's verdict once the byte layer gave up on the connection.
    std::optional<RowVerdict> layerVerdict() const;

    std::unique_ptr<Handshake> m_handshake;
    std::unique_ptr<ProbeJudgement> m_judgement;
    std::unique_ptr<ByteLayer> m_layer;
    QByteArray m_answer;
    bool m_connected = false;
    // Whether the proxy is open and what comes is the answer.
    bool m_answering = false;
};

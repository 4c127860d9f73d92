#include "checker/ProbeExchange.h"

#include "checker/PlainLayer.h"
#include "checker/ProbeSocket.h"
#include "checker/Socks4Handshake.h"

#include <utility>

namespace {
const RowVerdict Refused{ProxyResult::failed(ProxyStatus::InvalidResponse)};
} // namespace

ProbeExchange::ProbeExchange(std::unique_ptr<Handshake> handshake, std::unique_ptr<ProbeJudgement> judgement,
                             std::unique_ptr<ByteLayer> layer)
    : m_handshake(std::move(handshake)), m_judgement(std::move(judgement)),
      m_layer(layer ? std::move(layer) : std::make_unique<PlainLayer>())
{}

std::optional<ProxyAddress::Protocol> ProbeExchange::heard(const ProbeSocket &socket) const
{
    if (const std::optional<ProxyAddress::Protocol> own = m_handshake->heard())
        return own;
    const QByteArray &unread = m_answering ? m_answer : socket.answer();
    if (Socks4Handshake::isReply(unread))
        return ProxyAddress::Protocol::Socks4;
    if (unread.startsWith("HTTP/"))
        return ProxyAddress::Protocol::Http;
    return std::nullopt;
}

std::optional<RowVerdict> ProbeExchange::onConnected(ProbeSocket &socket)
{
    m_connected = true;
    const Handshake::Step opening = m_handshake->opening();
    if (opening.outcome == Handshake::Step::Open)
        return openTunnel(socket, opening.send);
    return send(socket, opening.send);
}

std::optional<RowVerdict> ProbeExchange::send(ProbeSocket &socket, const QByteArray &bytes)
{
    if (bytes.isEmpty() || socket.send(bytes))
        return std::nullopt;
    return onFailed(socket);
}

std::optional<RowVerdict> ProbeExchange::onData(ProbeSocket &socket)
{
    if (!m_answering) {
        if (std::optional<RowVerdict> verdict = stepHandshake(socket); verdict || !m_answering)
            return verdict;
    }
    const QByteArray reply = takeAnswer(socket);
    if (std::optional<RowVerdict> verdict = layerVerdict())
        return verdict;
    if (std::optional<RowVerdict> failed = send(socket, reply))
        return failed;
    return m_judgement->look(m_answer);
}

std::optional<RowVerdict> ProbeExchange::stepHandshake(ProbeSocket &socket)
{
    const Handshake::Step step = m_handshake->onReply(socket.answer());
    socket.consume(step.consumed);
    switch (step.outcome) {
    case Handshake::Step::Refused:
        return Refused;
    case Handshake::Step::NeedMore:
        if (std::optional<RowVerdict> failed = send(socket, step.send))
            return failed;
        // A handshake is a few bytes, a CONNECT answer's headers at most an answer's keep: one that goes on is not
        // a proxy of the row's protocol.
        return socket.answer().size() >= ProbeSocket::MaxAnswerBytes ? std::optional(Refused) : std::nullopt;
    case Handshake::Step::Open:
        break;
    }
    return openTunnel(socket, step.send);
}

std::optional<RowVerdict> ProbeExchange::openTunnel(ProbeSocket &socket, const QByteArray &handshakeBytes)
{
    m_answering = true;
    return send(socket, handshakeBytes + m_layer->open(m_handshake->request(*m_judgement)));
}

QByteArray ProbeExchange::takeAnswer(ProbeSocket &socket)
{
    if (!m_answering || socket.answer().isEmpty())
        return {};
    return m_layer->fromWire(socket.take(), m_answer);
}

std::optional<RowVerdict> ProbeExchange::layerVerdict() const
{
    const QString failure = m_layer->failure();
    if (failure.isEmpty())
        return std::nullopt;
    return m_judgement->onLayerFailed(failure);
}

RowVerdict ProbeExchange::onClosed(ProbeSocket &socket)
{
    // Closed before the tunnel was open: no answer can have come.
    if (!m_answering)
        return Refused;
    takeAnswer(socket);
    if (std::optional<RowVerdict> verdict = layerVerdict())
        return *verdict;
    return m_judgement->onClosed(m_answer);
}

RowVerdict ProbeExchange::onFailed(ProbeSocket &socket)
{
    if (!m_answering)
        return {ProxyResult::failed(ProxyStatus::Error)};
    takeAnswer(socket);
    if (std::optional<RowVerdict> verdict = layerVerdict())
        return *verdict;
    return m_judgement->onFailed(m_answer);
}

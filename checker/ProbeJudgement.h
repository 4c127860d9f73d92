#pragma once

#include "proxylist/RowVerdict.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What a probe asks once its tunnel is open, and how the answer is judged: the row's verdict as soon as the answer
// tells it, or once the connection has ended.
class ProbeJudgement
{
public:
    virtual ~ProbeJudgement() = default;

    // The request written for the host itself, as a tunnel carries it.
    virtual QByteArray directRequest() const = 0;
    // The request as an HTTP proxy takes it: in absolute form, with the header lines given (each ending in CR LF).
    virtual QByteArray proxyRequest(const QByteArray &headerLines) const = 0;
    // The answer so far: a verdict, or nothing while it tells none. A judgement that reads as the answer comes may
    // drop from its front what it has done with, so that a long answer is never held whole.
    virtual std::optional<RowVerdict> look(QByteArray &answer) = 0;
    // The verdict on the answer that came before the connection closed in order.
    virtual RowVerdict onClosed(const QByteArray &answer) const = 0;
    // The verdict on the answer that came before the connection was reset or broke.
    virtual RowVerdict onFailed(const QByteArray &answer) const = 0;
    // The byte layer gave up on the connection, for the reason given (a certificate TLS would not trust): the
    // answer cannot be read. Answers that come as plain text never get here.
    virtual RowVerdict onLayerFailed(const QString &reason) const
    {
        Q_UNUSED(reason);
        return {ProxyResult::failed(ProxyStatus::Error)};
    }
};

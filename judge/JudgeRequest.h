#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QPair>

// A request to the judge, read from the bytes received so far: its request line and header section, up to the
// blank line that ends them. Anything after that is ignored; a GET carries no body.
class JudgeRequest
{
public:
    enum class State { Incomplete, Complete, Malformed, TooLarge };
    // A header section larger than this is refused, as a public server must.
    static constexpr qsizetype MaxHeadBytes = qsizetype(8) << 10;

    static JudgeRequest read(QByteArrayView received);

    State state() const { return m_state; }
    const QByteArray &method() const { return m_method; }
    const QByteArray &target() const { return m_target; }
    // "HTTP/1.0" or "HTTP/1.1".
    const QByteArray &version() const { return m_version; }
    // The last segment of the target's path when it is a token as the checker writes one (16 to 64 letters and
    // digits); empty otherwise.
    QByteArray token() const;
    // The segment before the token, which names the key a checker was given ("/ID/TOKEN"); empty without a token.
    QByteArray keyId() const;
    // "Name: value" of every header that can carry where the request came from: those proxies use for it, and any
    // but Host whose value holds an IPv4 or IPv6 address.
    QByteArrayList originHeaders() const;

    // Where the request came from, as the page shows it: the caller's address and the origin headers.
    struct Origin
    {
        QByteArray caller;
        QByteArrayList headers;
    };
    // The address that connected and the origin headers; when that address is one of the fronts (reverse proxies of
    // the judge's own, trusted to say who called them), the nearest caller in X-Forwarded-For that is no front, or
    // else X-Real-IP, and the headers without what the fronts wrote there.
    Origin origin(const QByteArray &connected, const QList<QHostAddress> &fronts) const;

private:
    // The target's path, without its query.
    QByteArrayView path() const;
    bool parseRequestLine(QByteArrayView line);
    bool parseHeaderLine(QByteArrayView line);

    State m_state = State::Incomplete;
    QByteArray m_method;
    QByteArray m_target;
    QByteArray m_version;
    QList<QPair<QByteArray, QByteArray>> m_headers;
};

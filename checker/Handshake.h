#pragma once

#include "proxylist/ProxyAddress.h"

#include <QByteArray>
#include <QByteArrayView>

#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>

class ProbeJudgement;
struct ProbeTarget;

// How a probe gets through one kind of proxy to its target, with no connection inside: bytes in, a step out. The
// probe sends the opening once connected, then feeds each reply from its first unread byte until the proxy is open
// to the request or has refused.
class Handshake
{
public:
    struct Step
    {
        // Open: the request goes next, and what follows the reply is its answer.
        enum Outcome { NeedMore, Open, Refused };

        QByteArray send;
        // How much of the reply has been read and is done with.
        qsizetype consumed = 0;
        Outcome outcome = NeedMore;
    };

    virtual ~Handshake() = default;

    // The handshake of the proxy's protocol, to the target. Searching, a SOCKS 5 handshake opens with a greeting
    // that proxies of other protocols answer at once.
    static std::unique_ptr<Handshake> create(const ProxyAddress &proxy, const ProbeTarget &target,
                                             bool searching = false);

    // What goes out once connected; Open when the proxy takes the request at once.
    virtual Step opening() const = 0;
    virtual Step onReply(QByteArrayView reply) = 0;
    // The handshake's own protocol, once the proxy has answered in it, whether or not it let the probe through.
    virtual std::optional<ProxyAddress::Protocol> heard() const { return std::nullopt; }
    // The request that goes through the open tunnel, in the form the proxy takes: a tunnel carries the request
    // written for the target itself.
    virtual QByteArray request(const ProbeJudgement &asked) const;

protected:
    static Step needMore(QByteArray send = {}, qsizetype consumed = 0)
    {
        return {std::move(send), consumed, Step::NeedMore};
    }
    static Step open(qsizetype consumed) { return {{}, consumed, Step::Open}; }
    static Step refused() { return {{}, 0, Step::Refused}; }

    // "Proxy-Authorization" with the credentials in Basic form (RFC 7617) and its CR LF; nothing without them.
    static QByteArray proxyAuthorization(const std::optional<ProxyAddress::Credentials> &credentials);
    static QByteArray bytes(std::initializer_list<char> list)
    {
        return QByteArray(list.begin(), qsizetype(list.size()));
    }
    static QByteArray bigEndian16(quint16 value) { return bytes({char(value >> 8), char(value & 0xff)}); }
    static QByteArray bigEndian32(quint32 value);
    // A length byte and the bytes: the credentials of RFC 1929 and a SOCKS 5 domain name are at most 255 bytes.
    static QByteArray counted(const QByteArray &bytes) { return char(bytes.size()) + bytes; }
};

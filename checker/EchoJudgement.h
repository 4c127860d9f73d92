#pragma once

#include "checker/EchoKey.h"
#include "checker/ProbeJudgement.h"
#include "proxylist/ProxyResult.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

class EchoHost;

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

// The IP-echo host's page "/" asked through a proxy, and the answer judged: whether a page came, what address it
// shows against yours or the proxy's own, and what a Korvane echo host saw.
class EchoJudgement final : public ProbeJudgement
{
public:
    using Expectation = ProbeExpectation;

    // A Korvane echo host is asked with a fresh token. hostPort: the row from its host on. The echo host must outlive
    // the judgement.
    EchoJudgement(const EchoHost &echo, const QString &hostPort, const std::optional<QHostAddress> &yourAddress,
                  const QList<QHostAddress> &proxyAddresses = {});

    QByteArray directRequest() const override;
    QByteArray proxyRequest(const QByteArray &headerLines) const override;
    // A verdict at once on a 401 or 407 status line or a whole page, whatever the connection does next.
    std::optional<RowVerdict> look(QByteArray &answer) override;
    RowVerdict onClosed(const QByteArray &answer) const override { return verdict(answer); }
    // "Error", unless the whole page had come in by then. A proxy that reads only up to the end of the request's
    // header section leaves the last CR LF unread, and its close then goes out as a reset: the page it sent is
    // judged as an orderly close would be.
    RowVerdict onFailed(const QByteArray &answer) const override;

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
    // The judgement, and where a working proxy leaves for the internet.
    RowVerdict verdict(const QByteArray &answer) const;

    const EchoHost &m_echo;
    QString m_hostPort;
    Expectation m_expected;
    // How much of the answer has been looked at, and where its start marker is (-1: not found yet), so that each
    // look reads only what is new: a proxy may send a byte at a time.
    qsizetype m_looked = 0;
    qsizetype m_pageStart = -1;
};

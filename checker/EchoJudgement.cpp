#include "checker/EchoJudgement.h"

#include "checker/EchoHost.h"
#include "checker/EchoPage.h"
#include "checker/EchoSignature.h"
#include "proxylist/TextFunctions.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace {
const ProxyResult Refused = ProxyResult::failed(ProxyStatus::InvalidResponse);

// The bytes of an answer that tell a status line asking for credentials.
constexpr qsizetype StatusLineHead = 16;

// An HTTP status line asking for credentials: 401, or 407 as RFC 7235 has a proxy say it.
bool refusesCredentials(const QByteArray &answer)
{
    static const QRegularExpression refused(QStringLiteral("^HTTP/1\\.[01] 40[17][ \\r]"));
    return refused.match(QString::fromLatin1(answer.first(std::min(answer.size(), StatusLineHead)))).hasMatch();
}
} // namespace

EchoJudgement::EchoJudgement(const EchoHost &echo, const QString &hostPort,
                             const std::optional<QHostAddress> &yourAddress, const QList<QHostAddress> &proxyAddresses)
    : m_echo(echo), m_hostPort(hostPort), m_expected{yourAddress, echo.isKorvane() ? freshToken() : QByteArray(),
                                                     proxyAddresses, echo.isKorvane() ? echo.key() : std::nullopt}
{}

QByteArray EchoJudgement::freshToken()
{
    quint32 bits[4];
    QRandomGenerator::system()->fillRange(bits);
    return QByteArray(reinterpret_cast<const char *>(bits), sizeof bits).toHex();
}

QByteArray EchoJudgement::directRequest() const
{
    return m_echo.directRequest(m_expected.token);
}

QByteArray EchoJudgement::proxyRequest(const QByteArray &headerLines) const
{
    return m_echo.proxyRequest(headerLines, m_expected.token);
}

std::optional<RowVerdict> EchoJudgement::look(QByteArray &answer)
{
    const qsizetype looked = std::exchange(m_looked, answer.size());
    // Credentials asked for are told by the status line: the proxy may keep the connection, or reset it.
    if (looked < StatusLineHead && refusesCredentials(answer))
        return RowVerdict{Refused};
    const QLatin1StringView start = EchoPage::StartMarker, end = EchoPage::EndMarker;
    if (m_pageStart < 0)
        m_pageStart = answer.indexOf(start, std::max<qsizetype>(0, looked - start.size() + 1));
    if (m_pageStart < 0)
        return std::nullopt;
    // The end marker after the start marker, where it can only have come now.
    const qsizetype from = std::max(m_pageStart + start.size(), looked - end.size() + 1);
    return answer.indexOf(end, from) < 0 ? std::nullopt : std::optional(verdict(answer));
}

RowVerdict EchoJudgement::onFailed(const QByteArray &answer) const
{
    if (holdsCompletePage(answer))
        return verdict(answer);
    return {ProxyResult::failed(ProxyStatus::Error)};
}

RowVerdict EchoJudgement::verdict(const QByteArray &answer) const
{
    const ProxyResult result = judge(answer, m_hostPort, m_expected);
    return {result, result.status == ProxyStatus::Working ? exitAddress(answer) : QString()};
}

ProxyResult EchoJudgement::judge(const QByteArray &answer, const QString &hostPort, const Expectation &expected)
{
    const std::optional<QString> shown = EchoPage::shownText(answer);
    if (!shown)
        return Refused;
    if (!expected.yourAddress)
        return judgeWithoutYou(*shown, hostPort, expected);
    const auto isYours = [&](const QHostAddress &seen) {
        return expected.yourAddress->isEqual(seen, QHostAddress::TolerantConversion);
    };
    // Every address the page's text holds, as a site would read it: a page that names you anywhere, beside another
    // address or with a port, gives you away; one that names no address shows nothing a proxy did.
    const QList<QHostAddress> named = EchoPage::addressesIn(shown->toLatin1());
    if (named.isEmpty())
        return Refused;
    const bool showsYou = std::any_of(named.begin(), named.end(), isYours);
    if (expected.token.isEmpty())
        return ProxyResult::working(!showsYou);
    // A stored page, one served to another probe or one the proxy made up carries no token of this probe.
    const std::optional<EchoPage::Extras> extras = EchoPage::extrasIn(answer);
    // A page a proxy made up with the token it read in the path, or altered, is not signed with a key it never saw.
    if (!extras || extras->token != expected.token ||
        (expected.key && !EchoSignature::holds(*extras, shown->toLatin1(), *expected.key)))
        return Refused;
    const bool headersShowYou =
        std::any_of(extras->headers.begin(), extras->headers.end(), [&](const QByteArray &header) {
            const QList<QHostAddress> inHeader = EchoPage::addressesIn(header);
            return std::any_of(inHeader.begin(), inHeader.end(), isYours);
        });
    if (showsYou || headersShowYou)
        return ProxyResult::graded(Grade::Transparent);
    return ProxyResult::graded(extras->headers.isEmpty() ? Grade::Elite : Grade::Anonymous);
}

ProxyResult EchoJudgement::judgeWithoutYou(const QString &shown, const QString &hostPort, const Expectation &expected)
{
    if (expected.proxyAddresses.isEmpty()) {
        // Text against text, as the list shows it: 010.0.0.1 is not the 10.0.0.1 that the echo page saw.
        return ProxyResult::working(firstValue(hostPort, QStringLiteral(":")) == shown);
    }
    const std::optional<QHostAddress> seen = EchoPage::addressIn(shown);
    return ProxyResult::working(seen && std::any_of(expected.proxyAddresses.begin(), expected.proxyAddresses.end(),
                                                    [&](const QHostAddress &proxy) {
                                                        return proxy.isEqual(*seen, QHostAddress::TolerantConversion);
                                                    }));
}

QString EchoJudgement::exitAddress(const QByteArray &answer)
{
    const std::optional<QString> shown = EchoPage::shownText(answer);
    if (!shown)
        return {};
    std::optional<QHostAddress> address = EchoPage::addressIn(*shown);
    if (!address) {
        const QList<QHostAddress> named = EchoPage::addressesIn(shown->toLatin1());
        if (named.isEmpty())
            return {};
        address = named.first();
    }
    return EchoPage::unmapped(*address).toString();
}

bool EchoJudgement::holdsCompletePage(const QByteArray &answer)
{
    const qsizetype start = answer.indexOf(EchoPage::StartMarker);
    return start >= 0 && answer.indexOf(EchoPage::EndMarker, start + EchoPage::StartMarker.size()) >= 0;
}

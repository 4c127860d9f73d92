#include "app/ResultText.h"

#include "proxylist/ResultTokens.h"

namespace {
constexpr quint32 Black = 0x000000;
constexpr quint32 Green = 0x00ff00;
constexpr quint32 Red = 0xff0000;
} // namespace

QString ResultText::status(const ProxyResult &result)
{
    switch (result.status) {
    case ProxyStatus::Untested:
        return {};
    case ProxyStatus::Checking:
        return tr("Checking...");
    case ProxyStatus::Working:
        return tr("Working");
    case ProxyStatus::InvalidResponse:
        return tr("Invalid Response");
    case ProxyStatus::Error:
        return tr("Error");
    case ProxyStatus::Timeout:
        return tr("Timeout");
    }
    return {};
}

QString ResultText::anonymity(const ProxyResult &result)
{
    return QString::fromLatin1(ResultTokens::anonymity(result));
}

QString ResultText::speed(const ProxyResult &result)
{
    if (result.ms)
        return tr("%1 ms").arg(*result.ms);
    return result.isVerdict() ? QStringLiteral("-") : QString();
}

QString ResultText::grade(const ProxyResult &result)
{
    switch (result.status == ProxyStatus::Working ? result.grade : Grade::None) {
    case Grade::None:
        return {};
    case Grade::Transparent:
        return tr("transparent");
    case Grade::Anonymous:
        return tr("anonymous");
    case Grade::Elite:
        return tr("elite");
    }
    return {};
}

quint32 ResultText::color(const ProxyResult &result)
{
    const StatusKind &kind = kindOf(result.status);
    if (!kind.verdict)
        return Black;
    return kind.failed ? Red : Green;
}

QString ResultText::site(const std::optional<SiteVerdict> &verdict)
{
    // Not translated: the column sorts by these very words.
    return verdict ? QString::fromLatin1(verdict->word()) : QString();
}

quint32 ResultText::siteColor(const SiteVerdict &verdict)
{
    return verdict.status == SiteStatus::Ok ? Green : Red;
}

QString ResultText::siteTip(const SiteVerdict &verdict)
{
    const QString words = site(verdict);
    QString tip = verdict.ms ? tr("%1 in %2 ms").arg(words).arg(*verdict.ms) : words;
    // A page as expected needs no more than its time.
    const QString code =
        verdict.httpStatus > 0 && verdict.status != SiteStatus::Ok ? QString::number(verdict.httpStatus) : QString();
    // A refusal's reason is where the site sent the request instead.
    const QString joint = verdict.status == SiteStatus::Refused ? QStringLiteral(" \u2192 ") : QStringLiteral(": ");
    if (!code.isEmpty() && !verdict.reason.isEmpty())
        tip += u'\n' + code + joint + verdict.reason;
    else if (!code.isEmpty() || !verdict.reason.isEmpty())
        tip += u'\n' + code + verdict.reason;
    return tip;
}

#include "checker/DirectPageJudgement.h"

#include "checker/EchoHost.h"
#include "checker/EchoJudgement.h"
#include "checker/ProbeSocket.h"

QByteArray DirectPageJudgement::directRequest() const
{
    return m_echo.directRequest();
}

QByteArray DirectPageJudgement::proxyRequest(const QByteArray &headerLines) const
{
    return m_echo.proxyRequest(headerLines);
}

std::optional<RowVerdict> DirectPageJudgement::look(QByteArray &answer)
{
    if (EchoJudgement::holdsCompletePage(answer) || answer.size() >= ProbeSocket::MaxAnswerBytes)
        return verdict(answer);
    return std::nullopt;
}

RowVerdict DirectPageJudgement::onFailed(const QByteArray &answer) const
{
    if (EchoJudgement::holdsCompletePage(answer))
        return verdict(answer);
    return {ProxyResult::failed(ProxyStatus::Error)};
}

DirectPageJudgement::Page DirectPageJudgement::read(const QByteArray &answer)
{
    const std::optional<QString> shown = EchoPage::shownText(answer);
    const std::optional<QHostAddress> address = shown ? EchoPage::addressIn(*shown) : std::nullopt;
    return {address, address ? EchoPage::extrasIn(answer) : std::nullopt};
}

RowVerdict DirectPageJudgement::verdict(const QByteArray &answer)
{
    const std::optional<QHostAddress> address = read(answer).yourAddress;
    if (!address)
        return {ProxyResult::failed(ProxyStatus::InvalidResponse)};
    return {ProxyResult::working(false), address->toString()};
}

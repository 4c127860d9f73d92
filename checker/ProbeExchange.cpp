#include "checker/ProbeExchange.h"

#include "checker/EchoPage.h"
#include "proxylist/TextFunctions.h"

#include <QRegularExpression>

const QString ProbeExchange::DefaultProbeHost = QStringLiteral("checkip.dyndns.org");

bool ProbeExchange::isValidProbeHost(const QString &host)
{
    // Anchored at the very end: "$" alone would let a final line break through.
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9._-]{1,253}(:[0-9]{1,5})?")));
    if (!form.match(host).hasMatch())
        return false;
    const qsizetype colon = host.indexOf(u':');
    const int port = colon < 0 ? 1 : host.mid(colon + 1).toInt();
    return port >= 1 && port <= 65535;
}

QByteArray ProbeExchange::probeRequest() const
{
    return "GET http://" + m_probeHost.toLatin1() + "/ HTTP/1.0\r\n\r\n\r\n";
}

ProxyResult ProbeExchange::judge(const QByteArray &answer, const QString &proxyText)
{
    const qsizetype start = answer.indexOf(EchoPage::StartMarker);
    if (start < 0)
        return ProxyResult::failed(ProxyStatus::InvalidResponse);
    // The rest runs to a second start marker, if the page holds one.
    const qsizetype restBegin = start + EchoPage::StartMarker.size();
    const qsizetype second = answer.indexOf(EchoPage::StartMarker, restBegin);
    const QString rest = QString::fromLatin1(answer.mid(restBegin, second < 0 ? -1 : second - restBegin));
    // Text against text, as the table shows it: 010.0.0.1 is not the 10.0.0.1 that the echo page saw.
    return ProxyResult::working(firstValue(proxyText, QStringLiteral(":")) ==
                                firstValue(rest, QString(EchoPage::EndMarker)));
}

bool ProbeExchange::holdsCompletePage(const QByteArray &answer)
{
    const qsizetype start = answer.indexOf(EchoPage::StartMarker);
    return start >= 0 && answer.indexOf(EchoPage::EndMarker, start + EchoPage::StartMarker.size()) >= 0;
}

std::optional<ProxyResult> ProbeExchange::onConnected(ProbeSocket &socket, const QString &proxyText) const
{
    if (socket.send(probeRequest()))
        return std::nullopt;
    return onFailed(socket, proxyText);
}

ProxyResult ProbeExchange::onClosed(const ProbeSocket &socket, const QString &proxyText)
{
    return judge(socket.answer(), proxyText);
}

ProxyResult ProbeExchange::onFailed(const ProbeSocket &socket, const QString &proxyText)
{
    if (holdsCompletePage(socket.answer()))
        return onClosed(socket, proxyText);
    return ProxyResult::failed(ProxyStatus::Error);
}

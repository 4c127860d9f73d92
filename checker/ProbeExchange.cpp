#include "checker/ProbeExchange.h"

#include "proxylist/TextFunctions.h"

#include <QRegularExpression>

const QString ProbeExchange::DefaultProbeHost = QStringLiteral("checkip.dyndns.org");

namespace {
const QString StartMarker = QStringLiteral("Current IP Address: ");
const QString EndMarker = QStringLiteral("</body></html>");
const QString HostSeparator = QStringLiteral(":");
} // namespace

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

Verdict ProbeExchange::judge(const QString &answer, const QString &proxyText)
{
    const qsizetype start = answer.indexOf(StartMarker);
    if (start < 0)
        return Verdict::invalidResponse();
    // The rest runs to a second start marker, if the page holds one.
    const qsizetype restBegin = start + StartMarker.size();
    const qsizetype second = answer.indexOf(StartMarker, restBegin);
    const QString rest = answer.mid(restBegin, second < 0 ? -1 : second - restBegin);
    // Text against text, as the table shows it: 010.0.0.1 is not the 10.0.0.1 that the echo page saw.
    return Verdict::working(firstValue(proxyText, HostSeparator) == firstValue(rest, EndMarker));
}

std::optional<Verdict> ProbeExchange::onConnected(SocketSlot &slot, const QString &proxyText) const
{
    if (slot.send(probeRequest()))
        return std::nullopt;
    return onFailed(slot, proxyText);
}

bool ProbeExchange::holdsCompletePage(const QByteArray &answer)
{
    const qsizetype start = answer.indexOf(StartMarker.toLatin1());
    return start >= 0 && answer.indexOf(EndMarker.toLatin1(), start + StartMarker.size()) >= 0;
}

Verdict ProbeExchange::onFailed(const SocketSlot &slot, const QString &proxyText)
{
    if (holdsCompletePage(slot.answer()))
        return onClosed(slot, proxyText);
    return Verdict::error();
}

Verdict ProbeExchange::onClosed(const SocketSlot &slot, const QString &proxyText)
{
    return judge(QString::fromLatin1(slot.answer()), proxyText);
}

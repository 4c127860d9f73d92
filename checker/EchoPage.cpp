#include "checker/EchoPage.h"

#include "proxylist/TextFunctions.h"

#include <QRegularExpression>

#include <algorithm>
#include <cctype>

namespace EchoPage {

std::optional<QString> shownText(const QByteArray &answer)
{
    const qsizetype start = answer.indexOf(StartMarker);
    if (start < 0)
        return std::nullopt;
    // The rest runs to a second start marker, if the page holds one.
    const qsizetype restBegin = start + StartMarker.size();
    const qsizetype second = answer.indexOf(StartMarker, restBegin);
    const QString rest = QString::fromLatin1(answer.mid(restBegin, second < 0 ? -1 : second - restBegin));
    return firstValue(rest, QString(EndMarker));
}

QList<QHostAddress> addressesIn(QByteArrayView text)
{
    const auto isAddressChar = [](char c) { return std::isxdigit(uchar(c)) || c == '.' || c == ':'; };
    QList<QHostAddress> found;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = i;
        while (end < text.size() && isAddressChar(text[end]))
            ++end;
        // Long enough for "::1" or "1.2.3.4", short enough for any address's text with a port.
        if (const QByteArray run = text.sliced(i, end - i).toByteArray(); run.size() >= 3 && run.size() <= 51) {
            // "1.2.3.4:4711" is an IPv4 address and a port.
            const qsizetype colon = run.indexOf(':');
            const QByteArray ipv4 = colon > 0 && run.indexOf('.') < colon ? run.first(colon) : run;
            for (const QByteArray &candidate : {run, ipv4}) {
                if (const std::optional<QHostAddress> address = addressIn(QString::fromLatin1(candidate))) {
                    found.append(*address);
                    break;
                }
            }
        }
        i = std::max(end, i + 1);
    }
    return found;
}

std::optional<QHostAddress> addressIn(const QString &shown)
{
    // A page may put a line break or a tab around the address.
    const QString text = shown.trimmed();
    static const QRegularExpression dotted(
        QRegularExpression::anchoredPattern(QStringLiteral("(?:(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\\.){3}"
                                                           "(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])")));
    static const QRegularExpression colons(QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f:.]{2,45}")));
    const bool ipv4 = dotted.match(text).hasMatch();
    if (!ipv4 && !(text.contains(u':') && colons.match(text).hasMatch()))
        return std::nullopt;
    QHostAddress address;
    if (!address.setAddress(text))
        return std::nullopt;
    return address;
}

namespace {
constexpr QByteArrayView TokenField("token: ");
constexpr QByteArrayView HeaderField("header: ");
constexpr QByteArrayView CommentEnd("-->");

QByteArray escaped(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = uchar(c);
        if (byte < 0x20 || byte > 0x7e || byte == '%' || byte == '<' || byte == '>')
            out.append('%').append(QByteArray::number(byte, 16).rightJustified(2, '0').toUpper());
        else
            out.append(c);
    }
    return out;
}
} // namespace

QByteArray extras(const Extras &extras)
{
    QByteArray out(KorvaneMark.data(), KorvaneMark.size());
    if (!extras.token.isEmpty())
        out.append(TokenField).append(escaped(extras.token)).append("\r\n");
    for (const QByteArray &header : extras.headers)
        out.append(HeaderField).append(escaped(header)).append("\r\n");
    return out.append(CommentEnd).append("\r\n");
}

std::optional<Extras> extrasIn(const QByteArray &answer)
{
    const qsizetype start = answer.indexOf(StartMarker);
    const qsizetype end = start < 0 ? -1 : answer.indexOf(EndMarker, start + StartMarker.size());
    const qsizetype mark = end < 0 ? -1 : answer.indexOf(KorvaneMark, end + EndMarker.size());
    const qsizetype close = mark < 0 ? -1 : answer.indexOf(CommentEnd, mark + KorvaneMark.size());
    if (close < 0)
        return std::nullopt;
    Extras found;
    const QByteArrayView block =
        QByteArrayView(answer).sliced(mark + KorvaneMark.size(), close - mark - KorvaneMark.size());
    for (const QByteArrayView line : QByteArray::fromRawData(block.data(), block.size()).split('\n')) {
        const QByteArrayView field = line.endsWith('\r') ? line.chopped(1) : line;
        if (field.startsWith(TokenField))
            found.token = QByteArray::fromPercentEncoding(field.sliced(TokenField.size()).toByteArray());
        else if (field.startsWith(HeaderField))
            found.headers.append(QByteArray::fromPercentEncoding(field.sliced(HeaderField.size()).toByteArray()));
    }
    return found;
}

} // namespace EchoPage

#include "checker/EchoPage.h"

#include "checker/EchoSignature.h"
#include "proxylist/TextFunctions.h"

#include <QRegularExpression>

#include <algorithm>
#include <arpa/inet.h>
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

namespace {
bool isAddressChar(char c)
{
    return std::isxdigit(uchar(c)) || c == '.' || c == ':' || c == 'x' || c == 'X';
}

// Beside an address standing alone: nothing that makes it part of a word or a version ("Mozilla/5.0", "v1.2").
bool joinsWord(char c)
{
    return std::isalnum(uchar(c)) || c == '/' || c == '-' || c == '_';
}

// An IPv4 address in a form the system's resolver connects to: 1 to 4 parts, each decimal, octal (a leading 0) or
// hexadecimal (0x), the last filling the bytes left. A site that reads a header passes it on as such.
std::optional<QHostAddress> resolverForm(QByteArrayView text)
{
    in_addr address{};
    if (::inet_aton(text.toByteArray().constData(), &address) == 0 || (ntohl(address.s_addr) >> 24) == 0)
        return std::nullopt;
    return QHostAddress(ntohl(address.s_addr));
}

// The address a run of address characters writes: dotted decimal or IPv6, an IPv4 address with a port; standing
// alone, a resolver's form too.
std::optional<QHostAddress> addressInRun(QByteArrayView run, bool alone)
{
    // Long enough for "::1" or "1.2.3.4", short enough for any address's text with a port.
    if (run.size() < 3 || run.size() > 51)
        return std::nullopt;
    // "1.2.3.4:4711" is an IPv4 address and a port.
    const qsizetype colon = run.indexOf(':');
    const QByteArrayView ipv4 = colon > 0 && run.indexOf('.') < colon ? run.first(colon) : run;
    for (const QByteArrayView candidate : {run, ipv4}) {
        if (std::optional<QHostAddress> address = addressIn(QString::fromLatin1(candidate)))
            return address;
    }
    return alone ? resolverForm(ipv4) : std::nullopt;
}
} // namespace

QList<QHostAddress> addressesIn(QByteArrayView text)
{
    QList<QHostAddress> found;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = i;
        while (end < text.size() && isAddressChar(text[end]))
            ++end;
        const QByteArrayView run = text.sliced(i, end - i);
        const bool alone = (i == 0 || !joinsWord(text[i - 1])) && (end == text.size() || !joinsWord(text[end]));
        if (const std::optional<QHostAddress> address = addressInRun(run, alone)) {
            found.append(*address);
        } else if (run.contains('x') || run.contains('X')) {
            // An x is no part of a dotted address: "x10.0.0.1" still names 10.0.0.1.
            for (const QByteArrayView piece : QByteArray(run.toByteArray()).replace('X', 'x').split('x')) {
                if (const std::optional<QHostAddress> inPiece = addressInRun(piece, false))
                    found.append(*inPiece);
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

QHostAddress unmapped(const QHostAddress &address)
{
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return address;
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    const bool zeroPrefix = std::all_of(bytes.c, bytes.c + 10, [](quint8 byte) { return byte == 0; });
    const bool mapped = zeroPrefix && bytes.c[10] == 0xff && bytes.c[11] == 0xff;
    const quint32 ipv4 =
        quint32(bytes.c[12]) << 24 | quint32(bytes.c[13]) << 16 | quint32(bytes.c[14]) << 8 | bytes.c[15];
    const bool compatible = zeroPrefix && bytes.c[10] == 0 && bytes.c[11] == 0 && ipv4 > 1;
    return mapped || compatible ? QHostAddress(ipv4) : address;
}

namespace {
constexpr QByteArrayView TokenField("token: ");
constexpr QByteArrayView HeaderField("header: ");
constexpr QByteArrayView CommentEnd("-->");
constexpr QByteArrayView KeyField("key: ");
constexpr QByteArrayView SignatureInputField("signature-input: korvane=");
constexpr QByteArrayView SignatureField("signature: korvane=:");
// A key's id as a Korvane echo host makes one: at most this many hexadecimal digits.
constexpr qsizetype MaxKeyIdSize = 64;

bool isHex(QByteArrayView text)
{
    return !text.isEmpty() && text.size() <= MaxKeyIdSize &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(uchar(c)); });
}

// "ID SECRET", both in hexadecimal.
std::optional<EchoKey> keyIn(QByteArrayView field)
{
    const qsizetype blank = field.indexOf(' ');
    if (blank < 0 || !isHex(field.first(blank)) || !isHex(field.sliced(blank + 1)))
        return std::nullopt;
    return EchoKey{field.first(blank).toByteArray(), QByteArray::fromHex(field.sliced(blank + 1).toByteArray())};
}

// The key id of parameters as EchoSignature writes them; empty for any others.
QByteArray keyIdIn(QByteArrayView parameters)
{
    constexpr QByteArrayView KeyId("keyid=\"");
    const qsizetype from = parameters.indexOf(KeyId) + KeyId.size();
    const qsizetype to = from < KeyId.size() ? -1 : parameters.indexOf('"', from);
    const QByteArrayView id = to < 0 ? QByteArrayView() : parameters.sliced(from, to - from);
    return isHex(id) && EchoSignature::parameters(id) == parameters ? id.toByteArray() : QByteArray();
}
} // namespace

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

QByteArray extras(const Extras &extras)
{
    QByteArray out(KorvaneMark.data(), KorvaneMark.size());
    if (!extras.token.isEmpty())
        out.append(TokenField).append(escaped(extras.token)).append("\r\n");
    for (const QByteArray &header : extras.headers)
        out.append(HeaderField).append(escaped(header)).append("\r\n");
    if (extras.key)
        out.append(KeyField).append(extras.key->id).append(' ').append(extras.key->secret.toHex()).append("\r\n");
    if (!extras.signature.isEmpty()) {
        out.append(SignatureInputField).append(EchoSignature::parameters(extras.keyId)).append("\r\n");
        out.append(SignatureField).append(extras.signature.toBase64()).append(":\r\n");
    }
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
        else if (field.startsWith(KeyField))
            found.key = keyIn(field.sliced(KeyField.size()));
        else if (field.startsWith(SignatureInputField))
            found.keyId = keyIdIn(field.sliced(SignatureInputField.size()));
        else if (field.startsWith(SignatureField) && field.endsWith(':'))
            found.signature = QByteArray::fromBase64(field.sliced(SignatureField.size()).chopped(1).toByteArray());
    }
    return found;
}

} // namespace EchoPage

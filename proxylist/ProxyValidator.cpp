#include "proxylist/ProxyValidator.h"

#include "proxylist/ProxyAddress.h"

#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {
// The scanner reads either UTF-16 text (the clipboard) or the Latin-1 bytes of a file in place; a byte of a file
// is the character with the same code.
inline char16_t unitAt(QStringView text, qsizetype i)
{
    return text[i].unicode();
}

inline char16_t unitAt(QLatin1StringView text, qsizetype i)
{
    return char16_t(uchar(text.data()[i]));
}

template <typename View> qsizetype indexOf(View text, char16_t unit, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (unitAt(text, i) == unit)
            return i;
    }
    return -1;
}

inline bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

inline int hexDigitValue(char16_t c)
{
    if (isDigit(c))
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Reads numeric text: [space] [decorations] number [space] [decorations] [space], where the decorations are at
// most one sign, one pair of parentheses (negative, not together with a sign) and one currency symbol, and the
// number is either decimal (thousands separators, decimal separator, exponent) or &H / &O notation.
template <typename View> class NumberScanner
{
public:
    // An open text is the start of one that goes on: where the scan looks past its end, what follows could decide.
    NumberScanner(View text, const ProxyValidator::Symbols &symbols, bool open = false)
        : m_text(text), m_symbols(symbols), m_open(open)
    {}

    std::optional<double> scan()
    {
        skipSpace();
        while (scanDecoration(false))
            skipSpace();
        std::optional<double> value = peek() == u'&' ? scanRadix() : scanDecimal();
        if (!value)
            return std::nullopt;
        skipSpace();
        while (scanDecoration(true))
            skipSpace();
        if (m_pos != m_text.size() || m_openParenthesis != m_closeParenthesis)
            return std::nullopt;
        return (m_negative || m_openParenthesis) ? -*value : *value;
    }

    // Whether the scan of an open text looked past its end: until then each step was decided by the text alone.
    bool ranOut() const { return m_ranOut; }

private:
    char16_t peek(qsizetype ahead = 0)
    {
        const qsizetype at = m_pos + ahead;
        if (at < m_text.size())
            return unitAt(m_text, at);
        m_ranOut = m_open;
        return char16_t(0xffff);
    }

    // Whether the symbol stands at the current position plus ahead.
    bool matches(const QString &symbol, qsizetype ahead = 0)
    {
        for (qsizetype i = 0; i < symbol.size(); ++i) {
            if (peek(ahead + i) != symbol[i].unicode())
                return false;
        }
        return !symbol.isEmpty();
    }

    bool accept(const QString &symbol)
    {
        if (!matches(symbol))
            return false;
        m_pos += symbol.size();
        return true;
    }

    void skipSpace()
    {
        while (QChar::isSpace(char32_t(peek())))
            ++m_pos;
    }

    bool scanSign()
    {
        if (m_signed || m_openParenthesis)
            return false;
        if (peek() == u'-' || peek() == u'+') {
            m_negative = peek() == u'-';
            ++m_pos;
        } else if (accept(m_symbols.negative)) {
            m_negative = true;
        } else if (!accept(m_symbols.positive)) {
            return false;
        }
        m_signed = true;
        return true;
    }

    bool scanDecoration(bool afterNumber)
    {
        if (scanSign())
            return true;
        if (!m_currency && accept(m_symbols.currency)) {
            m_currency = true;
            return true;
        }
        if (!afterNumber && !m_signed && !m_openParenthesis && peek() == u'(') {
            m_openParenthesis = true;
            ++m_pos;
            return true;
        }
        if (afterNumber && m_openParenthesis && !m_closeParenthesis && peek() == u')') {
            m_closeParenthesis = true;
            ++m_pos;
            return true;
        }
        return false;
    }

    // &H followed by hexadecimal digits or &O followed by octal digits, read as an unsigned number that must fit
    // in 32 bits.
    std::optional<double> scanRadix()
    {
        const char16_t kind = peek(1);
        const int radix = (kind == u'H' || kind == u'h') ? 16 : (kind == u'O' || kind == u'o') ? 8 : 0;
        if (radix == 0)
            return std::nullopt;
        m_pos += 2;
        quint64 value = 0;
        qsizetype digits = 0;
        for (int d = hexDigitValue(peek()); d >= 0 && d < radix; d = hexDigitValue(peek())) {
            value = value * quint64(radix) + quint64(d);
            if (value > 0xffffffffu)
                return std::nullopt;
            ++digits;
            ++m_pos;
        }
        if (digits == 0)
            return std::nullopt;
        return double(value);
    }

    // Digits with thousands separators between them, an optional decimal separator with further digits, an
    // optional exponent. The digits are copied in C notation and converted without any locale.
    std::optional<double> scanDecimal()
    {
        // A leading 0 keeps ".5" in a form every conversion reads.
        QVarLengthArray<char, 64> number{'0'};
        qsizetype mantissaDigits = 0;
        for (;;) {
            if (isDigit(peek())) {
                number.append(char(peek()));
                ++mantissaDigits;
                ++m_pos;
            } else if (mantissaDigits > 0 && matches(m_symbols.group) && isDigit(peek(m_symbols.group.size()))) {
                m_pos += m_symbols.group.size();
            } else {
                break;
            }
        }
        if (accept(m_symbols.decimal) && isDigit(peek())) {
            number.append('.');
            for (; isDigit(peek()); ++m_pos, ++mantissaDigits)
                number.append(char(peek()));
        }
        if (mantissaDigits == 0)
            return std::nullopt;
        if (peek() == u'e' || peek() == u'E') {
            const qsizetype signLength = (peek(1) == u'+' || peek(1) == u'-') ? 1 : 0;
            if (!isDigit(peek(1 + signLength)))
                return std::nullopt;
            number.append('e');
            if (signLength)
                number.append(char(peek(1)));
            m_pos += 1 + signLength;
            for (; isDigit(peek()); ++m_pos)
                number.append(char(peek()));
        }
        double value = 0;
        const auto [end, error] = std::from_chars(number.constData(), number.constData() + number.size(), value);
        if (error != std::errc() || end != number.constData() + number.size() || !std::isfinite(value))
            return std::nullopt;
        return value;
    }

    View m_text;
    const ProxyValidator::Symbols &m_symbols;
    const bool m_open;
    bool m_ranOut = false;
    qsizetype m_pos = 0;
    bool m_signed = false;
    bool m_negative = false;
    bool m_currency = false;
    bool m_openParenthesis = false;
    bool m_closeParenthesis = false;
};

template <typename View> std::optional<double> numericValueOf(View text, const ProxyValidator::Symbols &symbols)
{
    // Nearly every part of a real list is a few plain digits: read those without the scanner.
    if (text.size() > 0 && text.size() <= 9) {
        int value = 0;
        qsizetype i = 0;
        for (; i < text.size() && isDigit(unitAt(text, i)); ++i)
            value = value * 10 + (unitAt(text, i) - u'0');
        if (i == text.size())
            return double(value);
    }
    return NumberScanner<View>(text, symbols).scan();
}

// Whether the text may become numeric text, were it to go on: the scan of it as the start of a longer text did not
// fail before it reached the end. Only the value is not judged.
template <typename View> bool mayBecomeNumeric(View text, const ProxyValidator::Symbols &symbols)
{
    NumberScanner<View> scanner(text, symbols, true);
    scanner.scan();
    return scanner.ranOut();
}

// The values of a dotted address's four parts.
using Parts = std::array<double, 4>;

// The one reader of a row's address: four parts, each numeric text from 0 to 255, their values in *parts. When open,
// the text may go on: its last part need only be able to become numeric text.
template <typename View>
bool acceptsAddress(View text, const ProxyValidator::Symbols &symbols, Parts *parts = nullptr, bool open = false)
{
    qsizetype begin = 0;
    for (int part = 0; part < 4; ++part) {
        qsizetype end = indexOf(text, u'.', begin);
        if (open && end < 0)
            return mayBecomeNumeric(text.sliced(begin), symbols);
        if (part < 3 && end < 0)
            return false;
        if (part == 3) {
            if (end >= 0)
                return false;
            end = text.size();
        }
        const std::optional<double> value = numericValueOf(text.sliced(begin, end - begin), symbols);
        if (!value || *value < 0 || *value > 255)
            return false;
        if (parts)
            (*parts)[size_t(part)] = *value;
        begin = end + 1;
    }
    return true;
}

using Outlook = ProxyValidator::Outlook;

// What the line test read of host:port text that it accepted.
struct HostPort
{
    // A dotted address as the line test reads it, or in a schemed row a host name or an IPv6 address in brackets.
    enum class Host { Dotted, Name, Ipv6 };
    Host host = Host::Dotted;
    Parts parts{};
    double port = 0;
    // Where the host's text ends (brackets included), and where the port ends: at a further colon, or at the end.
    qsizetype hostEnd = 0;
    qsizetype portEnd = 0;
};

// The line test of a list on the host:port text.
template <typename View> bool acceptsHostPort(View line, const ProxyValidator::Symbols &symbols, HostPort &read)
{
    const qsizetype colon = indexOf(line, u':', 0);
    if (colon < 0 || !acceptsAddress(line.first(colon), symbols, &read.parts))
        return false;
    read.host = HostPort::Host::Dotted;
    read.hostEnd = colon;
    read.portEnd = indexOf(line, u':', colon + 1);
    if (read.portEnd < 0)
        read.portEnd = line.size();
    const std::optional<double> port = numericValueOf(line.sliced(colon + 1, read.portEnd - colon - 1), symbols);
    read.port = port.value_or(0);
    return port.has_value();
}

inline bool isNameChar(char16_t c)
{
    return isDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'-' || c == u'.';
}

// How far a host name written so far holds: Fails once it cannot be one (a character no name has, an empty or
// overlong label, over 253 bytes), Passes when complete it is one (its last label not all digits, which would be a
// number rather than a name), MayPass when only more could make it one.
template <typename View> Outlook nameOutlook(View name, bool complete)
{
    if (name.isEmpty() || name.size() > 253)
        return name.isEmpty() && !complete ? Outlook::MayPass : Outlook::Fails;
    qsizetype labelStart = 0;
    bool labelHasLetter = false;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i == name.size() || unitAt(name, i) == u'.') {
            const qsizetype length = i - labelStart;
            // A label ends at a dot: empty or over 63 bytes, it never makes a name.
            if (length > 63 || (length == 0 && (i < name.size() || complete)))
                return Outlook::Fails;
            if (i == name.size())
                break;
            labelStart = i + 1;
            labelHasLetter = false;
            continue;
        }
        if (!isNameChar(unitAt(name, i)))
            return Outlook::Fails;
        labelHasLetter = labelHasLetter || !isDigit(unitAt(name, i));
    }
    if (!complete)
        return Outlook::MayPass;
    return labelHasLetter ? Outlook::Passes : Outlook::Fails;
}

// How far an IPv6 address written so far, inside its brackets, holds.
template <typename View> Outlook ipv6Outlook(View text, bool complete)
{
    if (text.size() > 45)
        return Outlook::Fails;
    QString address;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = unitAt(text, i);
        if (hexDigitValue(c) < 0 && c != u':' && c != u'.')
            return Outlook::Fails;
        address.append(QChar(c));
    }
    if (!complete)
        return Outlook::MayPass;
    QHostAddress parsed;
    return parsed.setAddress(address) && parsed.protocol() == QAbstractSocket::IPv6Protocol ? Outlook::Passes
                                                                                            : Outlook::Fails;
}

// How far a port of plain digits written so far holds: 1 to 65535, in at most five digits.
template <typename View> Outlook portOutlook(View text, bool complete)
{
    if (text.size() > 5)
        return Outlook::Fails;
    int value = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isDigit(unitAt(text, i)))
            return Outlook::Fails;
        value = value * 10 + (unitAt(text, i) - u'0');
    }
    if (!complete)
        return text.isEmpty() || value <= 65535 ? Outlook::MayPass : Outlook::Fails;
    return !text.isEmpty() && value >= 1 && value <= 65535 ? Outlook::Passes : Outlook::Fails;
}

// The host of a schemed row named by a host name or an IPv6 address in brackets, then ":" and the port in plain
// digits; what follows a further colon is not looked at. With the text complete, Passes or Fails, and what was
// read; with it open (it may go on), how far it holds.
template <typename View> Outlook namedHostOutlook(View text, bool complete, HostPort *read = nullptr)
{
    const bool bracketed = !text.isEmpty() && unitAt(text, 0) == u'[';
    const qsizetype close = bracketed ? indexOf(text, u']', 1) : -1;
    const qsizetype colon = bracketed ? (close < 0 ? -1 : close + 1) : indexOf(text, u':', 0);
    if (bracketed && close < 0)
        return complete ? Outlook::Fails : ipv6Outlook(text.sliced(1), false);
    const View host = bracketed ? text.sliced(1, close - 1) : text.first(colon < 0 ? text.size() : colon);
    const Outlook hostOutlook = bracketed ? ipv6Outlook(host, true) : nameOutlook(host, colon >= 0);
    if (hostOutlook == Outlook::Fails || colon < 0 || colon == text.size())
        return hostOutlook == Outlook::Fails || complete ? Outlook::Fails : Outlook::MayPass;
    if (unitAt(text, colon) != u':')
        return Outlook::Fails;
    const qsizetype portEnd = indexOf(text, u':', colon + 1);
    const Outlook port = portOutlook(text.sliced(colon + 1, (portEnd < 0 ? text.size() : portEnd) - colon - 1),
                                     complete || portEnd >= 0);
    if (port == Outlook::Passes && read) {
        read->host = bracketed ? HostPort::Host::Ipv6 : HostPort::Host::Name;
        read->hostEnd = colon;
        read->portEnd = portEnd < 0 ? text.size() : portEnd;
        const View digits = text.sliced(colon + 1, read->portEnd - colon - 1);
        read->port = 0;
        for (qsizetype i = 0; i < digits.size(); ++i)
            read->port = read->port * 10 + (unitAt(digits, i) - u'0');
    }
    return port;
}

template <typename View> bool acceptsNamedHost(View text, HostPort &read)
{
    return namedHostOutlook(text, true, &read) == Outlook::Passes;
}

inline char16_t lowerAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

// Nearly every line of a real list is plain digits, dots and a colon: such a line, when the plain rules accept
// it, is accepted without the scanner. Whatever this does not accept goes to the full test, which accepts it or
// not as it always did.
template <typename View> bool acceptsPlainDigits(View line, HostPort &read)
{
    qsizetype i = 0;
    const auto digits = [&](int most, int &value) {
        const qsizetype first = i;
        value = 0;
        while (i < line.size() && i - first < most && isDigit(unitAt(line, i)))
            value = value * 10 + (unitAt(line, i++) - u'0');
        return i > first && (i == line.size() || !isDigit(unitAt(line, i)));
    };
    int value = 0;
    for (int part = 0; part < 4; ++part) {
        if (!digits(3, value) || value > 255 || i == line.size() || unitAt(line, i++) != (part < 3 ? u'.' : u':'))
            return false;
        read.parts[size_t(part)] = value;
    }
    if (!digits(9, value) || (i != line.size() && unitAt(line, i) != u':'))
        return false;
    read.port = value;
    read.portEnd = i;
    return true;
}

// Whether some scheme starts with each ASCII character, read from the schemes: most lines start with a digit, and
// one look tells they have none.
constexpr std::array<bool, 128> SchemeStarts = [] {
    std::array<bool, 128> starts{};
    for (const ProxyAddress::Protocol protocol : ProxyAddress::Protocols)
        starts[size_t(uchar(ProxyAddress::scheme(protocol).data()[0]))] = true;
    return starts;
}();

// The length of the scheme at the start of the line, "://" included, 0 when it has none; *protocol tells which.
template <typename View> qsizetype schemeLength(View line, ProxyAddress::Protocol *protocol = nullptr)
{
    if (line.isEmpty() || lowerAscii(unitAt(line, 0)) >= SchemeStarts.size() ||
        !SchemeStarts[lowerAscii(unitAt(line, 0))])
        return 0;
    for (const ProxyAddress::Protocol known : ProxyAddress::Protocols) {
        const QLatin1StringView scheme = ProxyAddress::scheme(known);
        if (line.size() < scheme.size())
            continue;
        qsizetype i = 0;
        while (i < scheme.size() && lowerAscii(unitAt(line, i)) == char16_t(scheme[i].unicode()))
            ++i;
        if (i == scheme.size()) {
            if (protocol)
                *protocol = known;
            return i;
        }
    }
    return 0;
}

// Whether the line is shorter than a scheme and begins it.
template <typename View> bool beginsScheme(View line)
{
    for (const ProxyAddress::Protocol known : ProxyAddress::Protocols) {
        const QLatin1StringView scheme = ProxyAddress::scheme(known);
        qsizetype i = 0;
        while (i < line.size() && i < scheme.size() && lowerAscii(unitAt(line, i)) == char16_t(scheme[i].unicode()))
            ++i;
        if (i == line.size() && i < scheme.size())
            return true;
    }
    return false;
}

// The most bytes a user or a password gives the proxy: as many as a SOCKS 5 login carries.
constexpr qsizetype MostCredentialBytes = 255;
// How far "user:password@" may reach: each of the two written in %XX escapes whole, and its ":" or "@".
constexpr qsizetype CredentialsReach = 2 * (3 * MostCredentialBytes + 1);

// Whether a %XX escape starts at i. Where the text may go on, a "%" or "%X" at its end may still become one.
template <typename View> bool escapeAt(View text, qsizetype i, bool open = false)
{
    if (unitAt(text, i) != u'%')
        return false;
    for (qsizetype digit = i + 1; digit <= i + 2; ++digit) {
        if (digit == text.size())
            return open;
        if (hexDigitValue(unitAt(text, digit)) < 0)
            return false;
    }
    return true;
}

// How many bytes credentials' text gives the proxy: an escape is one byte, a "%" that starts none is itself.
template <typename View> qsizetype decodedLength(View text, bool open = false)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); i += escapeAt(text, i, open) ? 3 : 1)
        ++bytes;
    return bytes;
}

// The length of "user:password@" at the start of the text, 0 when it does not start so: the user gives 1 to 255
// bytes and holds no ":" or "@", the password gives up to 255 bytes and holds no "@".
template <typename View> qsizetype credentialsLength(View text)
{
    // An "@" further on cannot end them: a huge row is not searched to its end.
    const View start = text.first(std::min(text.size(), CredentialsReach));
    const qsizetype at = indexOf(start, u'@', 0);
    const qsizetype colon = indexOf(start, u':', 0);
    if (at < 0 || colon < 1 || colon > at || decodedLength(start.first(colon)) > MostCredentialBytes ||
        decodedLength(start.sliced(colon + 1, at - colon - 1)) > MostCredentialBytes)
        return 0;
    return at + 1;
}

// Whether the text may still start with credentials once it goes on: no "@" yet, and neither the user nor the
// password is already too long.
template <typename View> bool credentialsMayFollow(View text)
{
    if (text.size() >= CredentialsReach || indexOf(text, u'@', 0) >= 0)
        return false;
    const qsizetype colon = indexOf(text, u':', 0);
    if (colon < 0)
        return decodedLength(text, true) <= MostCredentialBytes;
    return colon >= 1 && decodedLength(text.first(colon)) <= MostCredentialBytes &&
           decodedLength(text.sliced(colon + 1), true) <= MostCredentialBytes;
}

// The bytes of a user or a password as the proxy is to get them: each escape becomes its byte, and a "%" that
// starts none stays, as rows written before escapes were read.
QByteArray decoded(QLatin1StringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!escapeAt(text, i)) {
            bytes.append(text[i].toLatin1());
            continue;
        }
        bytes.append(char(hexDigitValue(unitAt(text, i + 1)) << 4 | hexDigitValue(unitAt(text, i + 2))));
        i += 2;
    }
    return bytes;
}

// Where the host:port text of an accepted line starts: after its scheme and, where what follows them passes the
// line test, its credentials; what the test read of that text in read. Nothing when the line is not accepted.
template <typename View>
std::optional<qsizetype> hostStart(View line, const ProxyValidator::Symbols &symbols, HostPort &read)
{
    const qsizetype scheme = schemeLength(line);
    if (scheme == 0)
        return acceptsPlainDigits(line, read) || acceptsHostPort(line, symbols, read) ? std::make_optional<qsizetype>(0)
                                                                                      : std::nullopt;
    // A schemed row may also name its host, or write an IPv6 address in brackets.
    const auto accepts = [&](View hostPort) {
        return acceptsHostPort(hostPort, symbols, read) || acceptsNamedHost(hostPort, read);
    };
    const View rest = line.sliced(scheme);
    if (const qsizetype credentials = credentialsLength(rest); credentials > 0 && accepts(rest.sliced(credentials)))
        return scheme + credentials;
    return accepts(rest) ? std::make_optional(scheme) : std::nullopt;
}

// The line test on host:port text that may go on. Once a second colon has come, what follows is not looked at.
template <typename View> Outlook hostPortOutlook(View text, const ProxyValidator::Symbols &symbols)
{
    const qsizetype colon = indexOf(text, u':', 0);
    if (colon < 0)
        return acceptsAddress(text, symbols, nullptr, true) ? Outlook::MayPass : Outlook::Fails;
    if (!acceptsAddress(text.first(colon), symbols))
        return Outlook::Fails;
    const qsizetype portEnd = indexOf(text, u':', colon + 1);
    if (portEnd < 0)
        return mayBecomeNumeric(text.sliced(colon + 1), symbols) ? Outlook::MayPass : Outlook::Fails;
    return numericValueOf(text.sliced(colon + 1, portEnd - colon - 1), symbols) ? Outlook::Passes : Outlook::Fails;
}

// hostStart() on a line that may go on: each way it can read the line, with a scheme and credentials or without.
template <typename View> Outlook lineOutlook(View line, const ProxyValidator::Symbols &symbols)
{
    if (beginsScheme(line))
        return Outlook::MayPass;
    const qsizetype scheme = schemeLength(line);
    const View rest = line.sliced(scheme);
    const Outlook plain = hostPortOutlook(rest, symbols);
    if (scheme == 0 || plain == Outlook::Passes)
        return plain;
    if (credentialsMayFollow(rest))
        return Outlook::MayPass;
    const auto either = [&](View hostPort) {
        return std::max(hostPortOutlook(hostPort, symbols), namedHostOutlook(hostPort, false));
    };
    const qsizetype credentials = credentialsLength(rest);
    return credentials > 0 ? std::max(either(rest), either(rest.sliced(credentials))) : either(rest);
}

std::optional<int> wholeNumber(std::optional<double> value, int lowest, int highest)
{
    if (!value || *value < lowest || *value > highest || std::trunc(*value) != *value)
        return std::nullopt;
    return int(*value);
}

// The IPv4 address of four accepted parts, when each is a whole number.
std::optional<quint32> wholeAddress(const Parts &parts)
{
    quint32 address = 0;
    for (const double part : parts) {
        const std::optional<int> value = wholeNumber(part, 0, 255);
        if (!value)
            return std::nullopt;
        address = (address << 8) | quint32(*value);
    }
    return address;
}
} // namespace

ProxyValidator::ProxyValidator(const QLocale &locale)
    : m_locale(locale), m_symbols{locale.decimalPoint(), locale.groupSeparator(),
                                  locale.currencySymbol(QLocale::CurrencySymbol), locale.negativeSign(),
                                  locale.positiveSign()}
{}

bool ProxyValidator::isValidProxy(QStringView line) const
{
    HostPort read;
    return hostStart(line, m_symbols, read).has_value();
}

bool ProxyValidator::isValidProxy(QLatin1StringView line) const
{
    HostPort read;
    return hostStart(line, m_symbols, read).has_value();
}

ProxyValidator::Outlook ProxyValidator::outlook(QLatin1StringView start) const
{
    return lineOutlook(start, m_symbols);
}

bool ProxyValidator::isValidIp(QStringView text) const
{
    return acceptsAddress(text, m_symbols);
}

std::optional<double> ProxyValidator::numericValue(QStringView text) const
{
    return numericValueOf(text, m_symbols);
}

std::optional<quint32> ProxyValidator::ipv4Address(QStringView host) const
{
    Parts parts;
    return acceptsAddress(host, m_symbols, &parts) ? wholeAddress(parts) : std::nullopt;
}

std::optional<quint16> ProxyValidator::portNumber(QStringView port) const
{
    const std::optional<int> value = wholeNumber(numericValue(port), 1, 65535);
    if (!value)
        return std::nullopt;
    return quint16(*value);
}

bool ProxyValidator::hasScheme(QLatin1StringView row)
{
    return schemeLength(row) > 0;
}

ProxyAddress::Protocol ProxyValidator::protocolOf(QLatin1StringView row, ProxyAddress::Protocol bareProtocol)
{
    schemeLength(row, &bareProtocol);
    return bareProtocol;
}

std::optional<ProxyAddress> ProxyValidator::address(QLatin1StringView line, ProxyAddress::Protocol bareProtocol) const
{
    ProxyAddress proxy;
    proxy.protocol = bareProtocol;
    const qsizetype scheme = schemeLength(line, &proxy.protocol);
    HostPort read;
    const std::optional<qsizetype> start = hostStart(line, m_symbols, read);
    if (!start)
        return std::nullopt;
    const std::optional<int> port = wholeNumber(read.port, 1, 65535);
    if (!port)
        return std::nullopt;
    const QLatin1StringView hostText = line.sliced(*start, read.hostEnd);
    switch (read.host) {
    case HostPort::Host::Dotted: {
        const std::optional<quint32> address = wholeAddress(read.parts);
        if (!address)
            return std::nullopt;
        proxy.host = QHostAddress(*address);
        break;
    }
    case HostPort::Host::Ipv6:
        proxy.host = QHostAddress(hostText.sliced(1, hostText.size() - 2));
        break;
    case HostPort::Host::Name:
        proxy.hostName = hostText;
        break;
    }
    if (*start > scheme) {
        const QLatin1StringView credentials = line.sliced(scheme, *start - scheme - 1);
        const qsizetype colon = credentials.indexOf(u':');
        proxy.credentials = {decoded(credentials.first(colon)), decoded(credentials.sliced(colon + 1))};
    } else if (const std::optional<TrailingCredentials> trailing =
                   scheme == 0 ? trailingCredentials(line) : std::nullopt) {
        proxy.credentials = {trailing->user.toByteArray(), trailing->password.toByteArray()};
    }
    // Up to the end of the port: what follows a second colon may be a row's hundreds of megabytes.
    proxy.hostPort = line.sliced(*start, read.portEnd);
    proxy.port = quint16(*port);
    return proxy;
}

std::optional<ProxyValidator::TrailingCredentials> ProxyValidator::trailingCredentials(QLatin1StringView row)
{
    // host:port:user:pass, exactly four parts: a huge row is not searched to its end.
    const QByteArrayView text(row.data(), std::min<qsizetype>(row.size(), 1024));
    const qsizetype first = text.indexOf(':');
    const qsizetype second = first < 0 ? -1 : text.indexOf(':', first + 1);
    const qsizetype third = second < 0 ? -1 : text.indexOf(':', second + 1);
    if (third < 0 || text.indexOf(':', third + 1) >= 0 || row.size() > text.size())
        return std::nullopt;
    const QByteArrayView user = text.sliced(second + 1, third - second - 1), password = text.sliced(third + 1);
    // As long as a SOCKS 5 login can carry.
    if (user.isEmpty() || password.isEmpty() || user.size() > 255 || password.size() > 255)
        return std::nullopt;
    return TrailingCredentials{second, user, password};
}

#pragma once

#include "proxylist/ProxyAddress.h"

#include <QByteArrayView>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>

// The test every loaded line must pass: A.B.C.D:P, each of A to D numeric text from 0 to 255 and P numeric text
// of any value; anything after a second ":" is not looked at. Before it a line may hold a scheme and credentials
// (see ProxyAddress), and after a scheme the host may also be a host name (letters, digits, hyphens and dots) or an
// IPv6 address in brackets, with a port of plain digits from 1 to 65535: a user of 1 to 255 bytes without ":" or "@", a
// password of up to 255 bytes without "@", each %XX escape counted as the one byte it stands for. "Numeric text"
// follows the user's locale: white space around the number, a
// sign before or after it or parentheses, the currency symbol, thousands and decimal separators, an exponent, and the
// &H (hexadecimal) and &O (octal) notations.
class ProxyValidator
{
public:
    explicit ProxyValidator(const QLocale &locale = QLocale::system());

    bool isValidProxy(QStringView line) const;
    // The same test on a line of a file, one byte per character, so a rejected line is never converted.
    bool isValidProxy(QLatin1StringView line) const;
    bool isValidIp(QStringView text) const;

    // What the test makes of the lines that start with the given bytes, whatever follows them: Fails when none
    // passes, Passes when every one does, else MayPass. Exact but for the value of numeric text still open at the
    // end: a last octet of "-1" may pass, as far as this tells.
    enum class Outlook { Fails, MayPass, Passes };
    Outlook outlook(QLatin1StringView start) const;

    // The value of numeric text, or nothing when the text is not numeric.
    std::optional<double> numericValue(QStringView text) const;

    // The IPv4 address that the four parts of an accepted host text denote, read with the same number rules
    // (so "010.0.0.1" is 10.0.0.1 and "&H7F.0.0.1" is 127.0.0.1), as a host-order 32-bit value; nothing when
    // a part is not a whole number from 0 to 255.
    std::optional<quint32> ipv4Address(QStringView host) const;
    // The port that numeric text denotes when it is a whole number from 1 to 65535; nothing otherwise.
    std::optional<quint16> portNumber(QStringView port) const;

    // How an accepted row is spoken to: its protocol (bareProtocol when the row has no scheme), its credentials and
    // where it points, from what the line test read; nothing for a row the line test rejects, or whose address or
    // port is unusable (a row may read 10.0.0.1:-1, which passes the test). The port ends at a second colon.
    // Credentials before the host are percent-decoded (a "%" that starts no %XX escape is kept); those after the
    // port of a bare row are taken as they are.
    std::optional<ProxyAddress> address(QLatin1StringView row,
                                        ProxyAddress::Protocol bareProtocol = ProxyAddress::Protocol::Http) const;
    // Whether the row begins with a scheme.
    static bool hasScheme(QLatin1StringView row);
    // A bare row of exactly four parts, host:port:user:pass, whose last two are not empty: the proxy's credentials.
    struct TrailingCredentials
    {
        // Where host:port ends.
        qsizetype hostPortEnd = 0;
        QByteArrayView user;
        QByteArrayView password;
    };
    static std::optional<TrailingCredentials> trailingCredentials(QLatin1StringView row);
    // The protocol the row's scheme names, or bareProtocol when it has none.
    static ProxyAddress::Protocol protocolOf(QLatin1StringView row, ProxyAddress::Protocol bareProtocol);

    // The locale's number symbols, read once: a load asks for them millions of times.
    struct Symbols
    {
        QString decimal;
        QString group;
        QString currency;
        QString negative;
        QString positive;
    };

private:
    QLocale m_locale;
    Symbols m_symbols;
};

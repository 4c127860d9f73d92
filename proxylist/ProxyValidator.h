#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>

// The test every loaded line must pass: A.B.C.D:P, each of A to D numeric text from 0 to 255 and P numeric text
// of any value; anything after a second ":" is not looked at. "Numeric text" follows the user's locale: white
// space around the number, a sign before or after it or parentheses, the currency symbol, thousands and decimal
// separators, an exponent, and the &H (hexadecimal) and &O (octal) notations.
class ProxyValidator
{
public:
    explicit ProxyValidator(const QLocale &locale = QLocale::system());

    bool isValidProxy(QStringView line) const;
    // The same test on a line of a file, one byte per character, so a rejected line is never converted.
    bool isValidProxy(QLatin1StringView line) const;
    bool isValidIp(QStringView text) const;

    // The value of numeric text, or nothing when the text is not numeric.
    std::optional<double> numericValue(QStringView text) const;

    // The IPv4 address that the four parts of an accepted host text denote, read with the same number rules
    // (so "010.0.0.1" is 10.0.0.1 and "&H7F.0.0.1" is 127.0.0.1), as a host-order 32-bit value; nothing when
    // a part is not a whole number from 0 to 255.
    std::optional<quint32> ipv4Address(QStringView host) const;
    // The port that numeric text denotes when it is a whole number from 1 to 65535; nothing otherwise.
    std::optional<quint16> portNumber(QStringView port) const;

    struct Endpoint
    {
        quint32 address = 0;
        quint16 port = 0;
    };
    // Where an accepted row points: the address of the text before the first ":" and the port of the text
    // between it and a second ":" (a row may read 10.0.0.1:80:9, and the line test only looked at the 80), both
    // trimmed of blanks; nothing when either is unusable.
    std::optional<Endpoint> endpoint(QStringView proxyText) const;

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

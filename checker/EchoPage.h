#pragma once

#include "checker/EchoKey.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHostAddress>
#include <QLatin1StringView>
#include <QList>
#include <QString>

#include <optional>

// The page of the IP-echo host: "Current IP Address: ", the address the request came from, then "</body></html>".
// The checker looks for the two markers; the test and benchmark proxies serve the page.
namespace EchoPage {
inline constexpr QLatin1StringView StartMarker("Current IP Address: ");
inline constexpr QLatin1StringView EndMarker("</body></html>");

// The page's HTML, showing the address, without an HTTP header.
inline QByteArray body(QByteArrayView address)
{
    QByteArray body("<html><head><title>Current IP Check</title></head><body>");
    body.append(StartMarker.data(), StartMarker.size()).append(address);
    return body.append(EndMarker.data(), EndMarker.size()).append("\r\n");
}

// The page as an echo host answers it, showing the address.
inline QByteArray page(QByteArrayView address)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + body(address);
}

// What a Korvane echo host adds after the page's end marker, in an HTML comment where no marker search reaches:
// the token of the request's path, the request's headers that can tell where it came from, a key offered for the
// probes to come, and the signature of what it saw, as
//     <!-- korvane-echo CR LF  [token: TOKEN CR LF]  [header: Name: value CR LF]...  [key: ID SECRET CR LF]
//     [signature-input: korvane=PARAMETERS CR LF  signature: korvane=:BASE64: CR LF]  --> CR LF
// with the secret in hexadecimal (see EchoSignature). A header's bytes outside printable ASCII, and '%', '<' and
// '>', are written %XX: nothing a client sent can end the comment or break a line.
inline constexpr QLatin1StringView KorvaneMark("<!-- korvane-echo\r\n");
struct Extras
{
    QByteArray token;
    QByteArrayList headers;
    // Offered for the probes to come: trusted only on the host's direct answer, which no proxy handled.
    std::optional<EchoKey> key = std::nullopt;
    // The id of the key that signed the page, and the signature; empty when the page is not signed.
    QByteArray keyId = {};
    QByteArray signature = {};
};
QByteArray extras(const Extras &extras);
// The bytes as the extras write them: printable ASCII but '%', '<' and '>', the rest %XX.
QByteArray escaped(QByteArrayView bytes);
// The extras after the end marker of the page the answer holds; nothing when they are not there: the page is not
// a Korvane echo host's.
std::optional<Extras> extrasIn(const QByteArray &answer);

// The text the page shows after its start marker, up to its end marker, trimmed of blanks; the rest of the answer
// when no end marker follows. Nothing when there is no start marker.
std::optional<QString> shownText(const QByteArray &answer);
// Every IPv4 and IPv6 address written in the text (a header's value, say), an IPv4 address with a port too. An IPv4
// address standing alone may be in any form a resolver connects to (127.1, 2130706433, 0x7f.0.0.01), but none in
// 0.0.0.0/8: counts and sizes ("DNT: 1", "max-age=600") are not addresses.
QList<QHostAddress> addressesIn(QByteArrayView text);
// The IPv4 address of an IPv4 caller that a dual-stack server saw as IPv6 (::ffff:a.b.c.d, or the old ::a.b.c.d);
// any other address as it is. The unspecified address and ::1 are IPv6 addresses of their own.
QHostAddress unmapped(const QHostAddress &address);
// The address that text names, white space around it aside: dotted decimal IPv4 (no leading zeros, which some read
// as octal) or IPv6.
std::optional<QHostAddress> addressIn(const QString &shown);
} // namespace EchoPage

#pragma once

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

// The page as an echo host answers it, showing the address.
inline QByteArray page(QByteArrayView address)
{
    QByteArray page("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head><title>Current IP Check</title>"
                    "</head><body>");
    page.append(StartMarker.data(), StartMarker.size()).append(address);
    return page.append(EndMarker.data(), EndMarker.size()).append("\r\n");
}

// What a Korvane echo host adds after the page's end marker, in an HTML comment where no marker search reaches:
// the token of the request's path, and the request's headers that can tell where it came from, as
//     <!-- korvane-echo CR LF  [token: TOKEN CR LF]  [header: Name: value CR LF]...  --> CR LF
// A header's bytes outside printable ASCII, and '%', '<' and '>', are written %XX: nothing a client sent can end
// the comment or break a line.
inline constexpr QLatin1StringView KorvaneMark("<!-- korvane-echo\r\n");
struct Extras
{
    QByteArray token;
    QByteArrayList headers;
};
QByteArray extras(const Extras &extras);
// The extras after the end marker of the page the answer holds; nothing when they are not there: the page is not
// a Korvane echo host's.
std::optional<Extras> extrasIn(const QByteArray &answer);

// The text the page shows after its start marker, up to its end marker, trimmed of blanks; the rest of the answer
// when no end marker follows. Nothing when there is no start marker.
std::optional<QString> shownText(const QByteArray &answer);
// Every IPv4 and IPv6 address written in the text (a header's value, say), an IPv4 address with a port too.
QList<QHostAddress> addressesIn(QByteArrayView text);
// The address that text names, white space around it aside: dotted decimal IPv4 (no leading zeros, which some read
// as octal) or IPv6.
std::optional<QHostAddress> addressIn(const QString &shown);
} // namespace EchoPage

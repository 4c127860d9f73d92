#pragma once

#include <QByteArray>
#include <QLatin1StringView>

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
} // namespace EchoPage

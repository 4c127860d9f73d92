#include "checker/SiteCheck.h"

#include <QHostAddress>
#include <QUrl>

std::variant<SiteCheck, QString> SiteCheck::fromUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || scheme.isEmpty())
        return QStringLiteral("the site must be an address that begins http:// or https://");
    if (scheme != u"http" && scheme != u"https")
        return QStringLiteral("the site's address must begin http:// or https://, not %1://").arg(scheme);
    if (url.host().isEmpty())
        return QStringLiteral("the site's address names no host");
    SiteCheck site;
    site.url = text;
    site.tls = scheme == u"https";
    site.host = url.host(QUrl::FullyEncoded);
    site.port = quint16(url.port(site.tls ? 443 : 80));
    site.path = url.path(QUrl::FullyEncoded).toLatin1();
    if (site.path.isEmpty())
        site.path = "/";
    if (url.hasQuery())
        site.path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    return site;
}

std::optional<std::vector<std::pair<int, int>>> SiteCheck::statusesFrom(const QString &codes)
{
    const auto code = [](QStringView digits) -> std::optional<int> {
        bool ok = false;
        const int value = digits.toInt(&ok);
        return ok && digits.size() == 3 && value >= 100 && value <= 599 ? std::optional(value) : std::nullopt;
    };
    std::vector<std::pair<int, int>> ranges;
    for (const QStringView part : QStringView(codes).split(u',')) {
        const qsizetype dash = part.indexOf(u'-');
        const std::optional<int> low = code(dash < 0 ? part : part.first(dash));
        const std::optional<int> high = dash < 0 ? low : code(part.sliced(dash + 1));
        if (!low || !high || *low > *high)
            return std::nullopt;
        ranges.emplace_back(*low, *high);
    }
    return ranges;
}

bool SiteCheck::expects(int status) const
{
    if (statuses.empty())
        return status >= 200 && status <= 299;
    for (const auto &[low, high] : statuses) {
        if (status >= low && status <= high)
            return true;
    }
    return false;
}

ProbeTarget SiteCheck::target() const
{
    ProbeTarget target{host, std::nullopt, false, port};
    // A dotted address needs no look-up; a name is looked up by the proxy, never here.
    const QHostAddress address(host);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        target.address = address.toIPv4Address();
        target.nameIsAddress = true;
    }
    return target;
}

QByteArray SiteCheck::hostHeader() const
{
    const bool ipv6 = host.contains(u':');
    QByteArray header = ipv6 ? '[' + host.toLatin1() + ']' : host.toLatin1();
    if (port != (tls ? 443 : 80))
        header += ':' + QByteArray::number(port);
    return header;
}

QByteArray SiteCheck::absoluteUrl() const
{
    return (tls ? "https://" : "http://") + hostHeader() + path;
}

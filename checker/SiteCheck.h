#pragma once

#include "checker/ProbeTarget.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>
#include <variant>
#include <vector>

// The user's own site, fetched through every proxy that works, and what its answer must hold to count as reached.
struct SiteCheck
{
    // The most a body is read by default: enough for any page that says whether it was served.
    static constexpr qint64 DefaultMaxBody = qint64(1) << 20;

    // The address as given, and as read from it.
    QString url;
    bool tls = false;
    // A name, or an address literal (an IPv6 one without its brackets).
    QString host;
    quint16 port = 0;
    // The path and query as they go on the request line; "/" at least.
    QByteArray path;
    // Inclusive ranges of the status codes expected; none is any 2xx.
    std::vector<std::pair<int, int>> statuses;
    // Bytes that must each occur in the body.
    QList<QByteArray> texts;
    qint64 maxBody = DefaultMaxBody;
    // Certificates to trust in place of the system's, and whether certificates are not checked at all.
    QString caFile;
    bool insecure = false;

    // An http:// or https:// address with a host; otherwise why it is not one.
    static std::variant<SiteCheck, QString> fromUrl(const QString &text);
    // "200", "200,204", "200-299,304": codes and ranges from 100 to 599; nothing for anything else.
    static std::optional<std::vector<std::pair<int, int>>> statusesFrom(const QString &codes);

    bool expects(int status) const;
    // Where the tunnel to the site leads.
    ProbeTarget target() const;
    // The Host header's value: the host, in brackets when an IPv6 address, with the port when not the scheme's own.
    QByteArray hostHeader() const;
    // The address in the absolute form an HTTP proxy takes: scheme, Host and path.
    QByteArray absoluteUrl() const;
};

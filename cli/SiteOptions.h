#pragma once

#include "checker/SiteCheck.h"

#include <QCommandLineOption>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

class QCommandLineParser;

// check --site URL and what the site's answer must hold: --expect-status, --expect-text, --max-body, and how its
// certificate is checked: --cacert, --insecure.
struct SiteOptions
{
    // The most --max-body takes: a page, not a download.
    static constexpr qint64 MaxBodyLimit = qint64(1) << 30;

    SiteOptions();

    // Every option, --site first.
    std::vector<const QCommandLineOption *> options() const;
    // Nothing without --site, the site with what is expected of it, or the usage error (without the program's name)
    // of a value that cannot be.
    std::variant<std::optional<SiteCheck>, QString> read(const QCommandLineParser &parser) const;

    QCommandLineOption site;
    QCommandLineOption expectStatus;
    QCommandLineOption expectText;
    QCommandLineOption maxBody;
    QCommandLineOption cacert;
    QCommandLineOption insecure;
};

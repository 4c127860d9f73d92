#pragma once

#include "proxylist/ProxyResult.h"
#include "proxylist/SiteVerdict.h"

#include <QCoreApplication>
#include <QString>

#include <optional>

// A result as the window shows it to a person: the words of its cells, which may be translated, and its row's colour.
class ResultText
{
    Q_DECLARE_TR_FUNCTIONS(ResultText)

public:
    // The Status, Anonymity and Speed cells; empty for a row never checked.
    static QString status(const ProxyResult &result);
    static QString anonymity(const ProxyResult &result);
    static QString speed(const ProxyResult &result);
    // The grade of a working proxy; empty where the echo host could not tell.
    static QString grade(const ProxyResult &result);
    // The text colour, as RGB, of a row a check has reset: black before a verdict, green when working, red when
    // failed.
    static quint32 color(const ProxyResult &result);

    // The Site cell: the verdict's words, as korvane-cli prints them; empty when the site was not fetched.
    static QString site(const std::optional<SiteVerdict> &verdict);
    // Green when the site answered as expected, as a working row is; red as a failed one for every other verdict.
    static quint32 siteColor(const SiteVerdict &verdict);
    // The words and the time, then the status code and the reason, each when there is one.
    static QString siteTip(const SiteVerdict &verdict);
};

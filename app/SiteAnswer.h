#pragma once

#include "checker/SiteCheck.h"

#include <QString>

#include <optional>
#include <variant>

// The user's site as the "Target Site..." box asks for it, each field as typed: an empty URL is no site, an empty
// status any 2xx, an empty text none expected.
struct SiteAnswer
{
    QString url;
    QString expectedText;
    QString expectedStatus;

    // The site to fetch, nothing for no site; or why the answer names none that can be fetched.
    std::variant<std::optional<SiteCheck>, QString> siteCheck() const;
};

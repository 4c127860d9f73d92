#pragma once

#include "proxylist/EnumTable.h"

#include <QString>

#include <array>
#include <optional>

// What fetching the user's own site through a working proxy found.
enum class SiteStatus : quint8 { Ok, Refused, TextMissing, TlsFailed, Timeout, Error };
inline constexpr int SiteStatusCount = int(SiteStatus::Error) + 1;

namespace EnumCount {
// Names the last site status, so that one added after it must move SiteStatusCount on.
constexpr bool isLast(SiteStatus status)
{
    switch (status) {
    case SiteStatus::Ok:
    case SiteStatus::Refused:
    case SiteStatus::TextMissing:
    case SiteStatus::TlsFailed:
    case SiteStatus::Timeout:
        return false;
    case SiteStatus::Error:
        return true;
    }
    return false;
}
} // namespace EnumCount
static_assert(EnumCount::isLast(SiteStatus(SiteStatusCount - 1)), "SiteStatusCount counts every site status");

struct SiteVerdict
{
    SiteStatus status = SiteStatus::Error;
    // The status code the site answered with; 0 when no answer came.
    int httpStatus = 0;
    // What went wrong, in a few words: where a redirect leads, the text that was missing, why TLS failed, what
    // broke the connection. Empty for a page as expected.
    QString reason = {};
    // From the site's connection to its complete answer; nothing when none came.
    std::optional<int> ms = std::nullopt;

    // The words the window and korvane-cli give the status: "Site OK", "Site Refused", …
    const char *word() const;
};

// Each status's words, in the order of the enum.
struct SiteStatusWord
{
    SiteStatus status;
    const char *word;
};
inline constexpr std::array<SiteStatusWord, SiteStatusCount> SiteStatusWords{{
    {SiteStatus::Ok, "Site OK"},
    {SiteStatus::Refused, "Site Refused"},
    {SiteStatus::TextMissing, "Text Missing"},
    {SiteStatus::TlsFailed, "TLS Failed"},
    {SiteStatus::Timeout, "Site Timeout"},
    {SiteStatus::Error, "Site Error"},
}};
static_assert(EnumTable::inEnumOrder(SiteStatusWords, &SiteStatusWord::status), "SiteStatusWords follows the enum");

inline const char *SiteVerdict::word() const
{
    return SiteStatusWords[size_t(status)].word;
}

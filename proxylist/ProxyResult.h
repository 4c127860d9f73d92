#pragma once

#include "proxylist/EnumTable.h"

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <optional>

// How a proxy's check stands. StatusKinds below says what each means; the window turns it into words and a colour.
enum class ProxyStatus : quint8 { Untested, Checking, Working, InvalidResponse, Error, Timeout };
inline constexpr int StatusCount = int(ProxyStatus::Timeout) + 1;
// Whether a site would see the user through the proxy; None until a check finds the proxy working.
enum class Anonymity : quint8 { None, Anonymous, NotAnonymous };
inline constexpr int AnonymityCount = int(Anonymity::NotAnonymous) + 1;
// What a Korvane echo host could tell of a working proxy: the user's address seen (transparent), a proxy's
// headers but not the user's address (anonymous), or neither (elite). None where the echo host cannot tell.
enum class Grade : quint8 { None, Transparent, Anonymous, Elite };
inline constexpr int GradeCount = int(Grade::Elite) + 1;
// The protocol a check found a row without a scheme to speak, when it was asked to find it: None when it was not,
// or when the proxy spoke none of these.
enum class FoundProtocol : quint8 { None, Http, Socks4, Socks5 };
inline constexpr int FoundProtocolCount = int(FoundProtocol::Socks5) + 1;

// Each count above names its enum's last value: a value added after it is named here by the compiler, in a switch
// that must list every value, until the count moves on to it.
namespace EnumCount {
constexpr bool isLast(ProxyStatus status)
{
    switch (status) {
    case ProxyStatus::Untested:
    case ProxyStatus::Checking:
    case ProxyStatus::Working:
    case ProxyStatus::InvalidResponse:
    case ProxyStatus::Error:
        return false;
    case ProxyStatus::Timeout:
        return true;
    }
    return false;
}
constexpr bool isLast(Anonymity anonymity)
{
    switch (anonymity) {
    case Anonymity::None:
    case Anonymity::Anonymous:
        return false;
    case Anonymity::NotAnonymous:
        return true;
    }
    return false;
}
constexpr bool isLast(Grade grade)
{
    switch (grade) {
    case Grade::None:
    case Grade::Transparent:
    case Grade::Anonymous:
        return false;
    case Grade::Elite:
        return true;
    }
    return false;
}
constexpr bool isLast(FoundProtocol found)
{
    switch (found) {
    case FoundProtocol::None:
    case FoundProtocol::Http:
    case FoundProtocol::Socks4:
        return false;
    case FoundProtocol::Socks5:
        return true;
    }
    return false;
}
} // namespace EnumCount
static_assert(EnumCount::isLast(ProxyStatus(StatusCount - 1)) && EnumCount::isLast(Anonymity(AnonymityCount - 1)) &&
                  EnumCount::isLast(Grade(GradeCount - 1)) && EnumCount::isLast(FoundProtocol(FoundProtocolCount - 1)),
              "each count counts every value of its enum");

// What a status means wherever the program asks: its token in korvane-cli's output (empty before a verdict),
// whether a probe's verdict gives it, and whether that verdict is a failure.
struct StatusKind
{
    ProxyStatus status;
    const char *token;
    bool verdict;
    bool failed;
};

// Every status once, in the order of the enum; a status added to the enum without its line here stops the build.
inline constexpr std::array<StatusKind, StatusCount> StatusKinds{{
    {ProxyStatus::Untested, "", false, false},
    {ProxyStatus::Checking, "", false, false},
    {ProxyStatus::Working, "Working", true, false},
    {ProxyStatus::InvalidResponse, "Invalid Response", true, true},
    {ProxyStatus::Error, "Error", true, true},
    {ProxyStatus::Timeout, "Timeout", true, true},
}};

constexpr const StatusKind &kindOf(ProxyStatus status)
{
    return StatusKinds[std::size_t(status)];
}

static_assert(EnumTable::inEnumOrder(StatusKinds, &StatusKind::status),
              "StatusKinds lists each status at its own place");

// What the last check of a proxy found.
struct ProxyResult
{
    ProxyStatus status = ProxyStatus::Untested;
    Anonymity anonymity = Anonymity::None;
    // How long a working proxy took, in whole milliseconds: from the start of the probe's connection attempt to
    // its complete answer.
    std::optional<int> ms;
    Grade grade = Grade::None;
    FoundProtocol found = FoundProtocol::None;

    static ProxyResult working(bool anonymous, std::optional<int> ms = {})
    {
        return {ProxyStatus::Working, anonymous ? Anonymity::Anonymous : Anonymity::NotAnonymous, ms};
    }
    // Anonymous unless transparent.
    static ProxyResult graded(Grade grade)
    {
        ProxyResult result = working(grade != Grade::Transparent);
        result.grade = grade;
        return result;
    }
    static ProxyResult failed(ProxyStatus status) { return {status, Anonymity::None, {}}; }

    // A probe's verdict, as against untested or under way.
    bool isVerdict() const { return kindOf(status).verdict; }
    bool operator==(const ProxyResult &other) const = default;
};

// Each pair of a status and an anonymity as one number below ResultPairCount: what a column of result words shows
// depends on these alone, so a sort by those words ranks the pairs once rather than comparing words row by row.
inline constexpr int ResultPairCount = StatusCount * AnonymityCount;
constexpr int resultPair(const ProxyResult &result)
{
    return int(result.status) * AnonymityCount + int(result.anonymity);
}
constexpr ProxyResult resultOfPair(int pair)
{
    return {ProxyStatus(pair / AnonymityCount), Anonymity(pair % AnonymityCount), {}};
}
// A place in an order for each pair; pairs that read the same share one.
using ResultPairRanks = std::array<int, ResultPairCount>;

#pragma once

#include <QtGlobal>

#include <optional>

// How a proxy's check stands. The table turns it into the words and the colour the user sees.
enum class ProxyStatus : quint8 { Untested, Checking, Working, InvalidResponse, Error, Timeout };
// Whether the echo page saw the proxy's own address; None until a check finds the proxy working.
enum class Anonymity : quint8 { None, Anonymous, NotAnonymous };

// What the last check of a proxy found.
struct ProxyResult
{
    ProxyStatus status = ProxyStatus::Untested;
    Anonymity anonymity = Anonymity::None;
    // How long a working proxy took, in whole milliseconds: from the start of the probe's connection attempt to
    // its complete answer.
    std::optional<int> ms;

    static ProxyResult working(bool anonymous, std::optional<int> ms = {})
    {
        return {ProxyStatus::Working, anonymous ? Anonymity::Anonymous : Anonymity::NotAnonymous, ms};
    }
    static ProxyResult failed(ProxyStatus status) { return {status, Anonymity::None, {}}; }

    // A probe's verdict, as against untested or under way.
    bool isVerdict() const { return status >= ProxyStatus::Working; }
    bool operator==(const ProxyResult &other) const = default;
};

#pragma once

#include <QtGlobal>

#include <optional>

// How a proxy's check stands. The table turns it into the words and the colour the user sees.
enum class ProxyStatus : quint8 { Untested, Checking, Working, InvalidResponse, Error, Timeout };
// Whether a site would see the user through the proxy; None until a check finds the proxy working.
enum class Anonymity : quint8 { None, Anonymous, NotAnonymous };
// What a Korvane echo host could tell of a working proxy: the user's address seen (transparent), a proxy's
// headers but not the user's address (anonymous), or neither (elite). None where the echo host cannot tell.
enum class Grade : quint8 { None, Transparent, Anonymous, Elite };
// The protocol a check found a row without a scheme to speak, when it was asked to find it: None when it was not,
// or when the proxy spoke none of these.
enum class FoundProtocol : quint8 { None, Http, Socks4, Socks5 };

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
    bool isVerdict() const { return status >= ProxyStatus::Working; }
    bool operator==(const ProxyResult &other) const = default;
};

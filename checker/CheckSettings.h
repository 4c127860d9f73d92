#pragma once

#include <chrono>

// The values a setting of a check may take, and the one it starts at.
struct CheckLimit
{
    int lowest;
    int highest;
    int start;
};

// Every limit of a check's settings, here alone: the window's sliders, korvane-cli's options and their help read
// them. The README and the page Exit opens say them in prose; tst_cli holds that prose to them.
namespace CheckLimits {
// The window's "No. of Threads:" slider.
inline constexpr CheckLimit WindowProbesAtOnce{1, 200, 20};
// korvane-cli's -n: a pool that refills as probes end can keep more open than a batch should. Dead proxies are
// waited on, not worked on: at ten thousand at once, a hundred thousand of them take ten seconds at -t 1.
inline constexpr CheckLimit CliProbesAtOnce{1, 10000, 200};
// Seconds each probe has: the window's "Timeout (sec)" slider and korvane-cli's -t alike.
inline constexpr CheckLimit TimeoutSeconds{1, 60, 10};
// How many times a row judged "Timeout" or "Error" is probed again in a run: the window's "Retries", korvane-cli's
// --retries.
inline constexpr CheckLimit Retries{0, 5, 0};
// The longest answer "fast:MS" and "Keep proxies by speed" may ask for: no probe waits longer than the longest
// timeout.
inline constexpr std::chrono::milliseconds LongestAnswer = std::chrono::seconds(TimeoutSeconds.highest);
} // namespace CheckLimits

// How a check run works: how many proxies are probed at once (the window's "No. of Threads:", korvane-cli's -n)
// and how long each has to answer (the window's "Timeout (sec)", korvane-cli's -t).
struct CheckSettings
{
    int probesAtOnce = CheckLimits::WindowProbesAtOnce.start;
    std::chrono::milliseconds timeout = std::chrono::seconds(CheckLimits::TimeoutSeconds.start);
    int retries = CheckLimits::Retries.start;
};

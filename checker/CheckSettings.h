#pragma once

#include <chrono>

// How a check run works: how many proxies are probed at once (the window's "No. of Threads:", korvane-cli's -n)
// and how long each has to answer (the window's "Timeout (sec)", korvane-cli's -t).
struct CheckSettings
{
    int probesAtOnce = 20;
    std::chrono::milliseconds timeout = std::chrono::seconds(10);
};

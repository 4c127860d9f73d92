#pragma once

#include <chrono>

// The time a check run measures its probes and deadlines by. It must never go back, so that setting the wall clock
// during a run can neither stretch nor cut a batch. Tests hand in a stand-in.
class Clock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;

    virtual TimePoint now() const = 0;
    // Real time until now() reaches the reading, in whole milliseconds rounded up (what a timer takes); a stand-in
    // that runs fast answers less.
    virtual std::chrono::milliseconds until(TimePoint reading) const
    {
        return std::chrono::ceil<std::chrono::milliseconds>(reading - now());
    }
};

#pragma once

#include <QtGlobal>

// The time a test run measures its batches by. It must never go back, so that setting the wall clock during a
// run can neither stretch nor cut a batch. Tests hand in a stand-in.
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds since an arbitrary starting point.
    virtual qint64 nowMs() const = 0;
    // Real milliseconds until nowMs() reaches the reading; a stand-in that runs fast answers less.
    virtual qint64 msUntil(qint64 reading) const { return reading - nowMs(); }
};

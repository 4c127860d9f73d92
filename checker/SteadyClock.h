#pragma once

#include "checker/Clock.h"

// The system's monotonic clock.
class SteadyClock final : public Clock
{
public:
    qint64 nowMs() const override;
};

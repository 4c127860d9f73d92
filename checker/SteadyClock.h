#pragma once

#include "checker/Clock.h"

// The system's monotonic clock.
class SteadyClock final : public Clock
{
public:
    TimePoint now() const override;
};

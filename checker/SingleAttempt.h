#pragma once

#include "checker/AttemptPolicy.h"

// One connection in the row's own protocol: its verdict is the row's.
class SingleAttempt final : public AttemptPolicy
{
public:
    std::optional<Protocol> next(const Attempt &attempt) override;
    const RowVerdict &verdict() const override { return m_verdict; }
    RowVerdict timedOut() const override { return {ProxyResult::failed(ProxyStatus::Timeout)}; }

private:
    RowVerdict m_verdict;
};

#include "checker/SingleAttempt.h"

std::optional<AttemptPolicy::Protocol> SingleAttempt::next(const Attempt &attempt)
{
    m_verdict = attempt.verdict;
    return std::nullopt;
}

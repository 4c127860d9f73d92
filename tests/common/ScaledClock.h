#pragma once

#include "checker/Clock.h"

#include <QElapsedTimer>
#include <QList>

// A clock that runs factor times faster than real time, so a one-second batch lasts 1/factor s. It remembers
// every reading that a caller waited for: one per batch.
class ScaledClock final : public Clock
{
public:
    explicit ScaledClock(int factor) : m_factor(factor) { m_origin.start(); }

    qint64 nowMs() const override { return m_origin.elapsed() * m_factor; }
    qint64 msUntil(qint64 reading) const override
    {
        if (!m_deadlines.contains(reading))
            m_deadlines.append(reading);
        return (reading - nowMs() + m_factor - 1) / m_factor;
    }
    qsizetype waits() const { return m_deadlines.size(); }

private:
    QElapsedTimer m_origin;
    qint64 m_factor;
    mutable QList<qint64> m_deadlines;
};

#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <vector>

class ProxyList;

// Times the batches of a test run over all rows from what the table shows: a batch starts when its first row
// turns "Checking...", and its timeout pass when the first "Timeout" of the batch is written.
class BatchWatch : public QObject
{
public:
    struct Batch
    {
        qint64 startNs = 0;
        qint64 lastCheckingNs = 0; // the last row of the batch handed out
        qint64 timeoutPassNs = -1; // the first "Timeout"; none when every probe ended before its deadline
        qint64 lastTimeoutNs = -1;
        bool judged = false;
    };

    // firstVerdict: called once per batch, when its first row gets a verdict, that is once all its probes have
    // been started.
    BatchWatch(const ProxyList &table, int slots, std::function<void()> firstVerdict);

    void start() { m_clock.start(); }
    qint64 elapsedNs() const { return m_clock.nsecsElapsed(); }
    const std::vector<Batch> &batches() const { return m_batches; }

private:
    void rowChanged(int row);

    const ProxyList &m_table;
    int m_slots;
    std::function<void()> m_firstVerdict;
    QElapsedTimer m_clock;
    std::vector<Batch> m_batches;
};

#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class CheckRun;
class ProxyList;

// A one-line progress display on a terminal: rows tested, working so far, and the probes under way or, in
// batches, batch k of m and the time left.
class ProgressLine : public QObject
{
    Q_OBJECT

public:
    // Draws to standard error, which the caller has found to be a terminal.
    ProgressLine(const ProxyList &list, const CheckRun &run, QObject *parent = nullptr);
    ~ProgressLine() override;

    void start();
    // A line of its own above the progress, which is drawn again below it.
    void note(const QString &text);

private:
    void countVerdict(int row);
    void draw();
    // The counts, as a pool or as batches run.
    QString poolLine() const;
    QString batchLine() const;

    const ProxyList &m_list;
    const CheckRun &m_run;
    QTimer m_timer;
    QElapsedTimer m_elapsed;
    int m_tested = 0;
    int m_working = 0;
    bool m_drawn = false;
};

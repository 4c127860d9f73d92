#pragma once

#include "history/CheckRecord.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class CheckRun;
class ProxyList;
struct RowVerdict;

// Keeps every verdict of the runs it follows in the history of checks, on a thread of its own: a writer waiting for
// another program's transaction, or a slow disk, never holds up the probes or the window. The verdicts of each
// second are committed together, at most a second after they came, and whatever is left when the recorder ends.
// When the history cannot be written (a full disk, a folder it may not write), the recorder stops keeping it,
// says why once through failed(), and the checks go on.
class HistoryRecorder : public QObject
{
    Q_OBJECT

public:
    explicit HistoryRecorder(QString path, QObject *parent = nullptr);
    // Commits what is left.
    ~HistoryRecorder() override;

    // Opens the history on the writer's thread and waits for it; empty on success, else why not, the history
    // named. Nothing is recorded after a failure.
    QString start();
    // Records each verdict the run's probes write to the list.
    void follow(const CheckRun &run, const ProxyList &list);
    void record(CheckRecord record);
    // Returns once every verdict recorded so far is committed, or the history has failed.
    void flush();
    // Why the history stopped; empty while it is kept.
    QString problem() const;

Q_SIGNALS:
    // The history stopped: said once, on the thread that made the recorder.
    void failed(const QString &why);

private:
    void writeLoop();
    void stopWith(const QString &why);

    const QString m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::vector<CheckRecord> m_queue;
    // Verdicts handed over, and committed (or dropped after a failure).
    quint64 m_recorded = 0;
    quint64 m_done = 0;
    bool m_flushNow = false;
    bool m_ending = false;
    bool m_opened = false;
    QString m_problem;
    std::thread m_writer;
};

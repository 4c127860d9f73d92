#pragma once

#include "proxylist/ListFileReader.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

// A load or save of the list on a thread of its own, so that the window repaints and answers while a list of a
// gigabyte comes off a cold disk or a pipe delivers slowly. The list is only read there; whatever changes it, or
// speaks to the user, runs on the window's thread once the work has ended. The window locks every command that
// would change the list meanwhile.
class ListJob : public QObject
{
    Q_OBJECT

public:
    // What is done on the window's thread once the work has ended; nothing, an empty function.
    using Outcome = std::function<void()>;
    // Runs on the job's thread; stops early once the watch says so.
    using Work = std::function<Outcome(const ListFileReader::Watch &watch)>;
    struct Task
    {
        Work work;
        // The size of what it reads, when known.
        qint64 bytes = -1;
    };

    explicit ListJob(QObject *parent = nullptr);
    // Cancels the work under way, and waits for its thread.
    ~ListJob() override;

    // finished() follows, on this object's thread. Not while a job is running.
    void start(Work work);
    // The work is told to stop and its outcome dropped; finished() follows once its thread has ended, within a
    // piece's read or a tenth of a second of a pipe's wait.
    void cancel();
    bool isRunning() const { return m_thread != nullptr; }
    // Of the list's bytes, as the work last told.
    qint64 bytesRead() const { return m_state ? m_state->bytesRead.load() : 0; }

Q_SIGNALS:
    // The job has ended, and its outcome has been carried out unless it was cancelled.
    void finished();

private:
    struct State
    {
        std::atomic<bool> stopped = false;
        std::atomic<qint64> bytesRead = 0;
        Outcome outcome;
    };

    void onThreadFinished();

    std::shared_ptr<State> m_state;
    QThread *m_thread = nullptr;
};

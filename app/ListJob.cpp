#include "app/ListJob.h"

#include <QThread>
#include <QThreadPool>

ListJob::ListJob(QObject *parent) : QObject(parent) {}

ListJob::~ListJob()
{
    if (!m_thread)
        return;
    m_state->stopped = true;
    m_thread->wait();
    delete m_thread;
}

void ListJob::start(Work work)
{
    m_state = std::make_shared<State>();
    m_thread = QThread::create([state = m_state, work = std::move(work)] {
        state->outcome =
            work({[&state] { return state->stopped.load(); }, [&state](qint64 bytes) { state->bytesRead = bytes; }});
    });
    connect(m_thread, &QThread::finished, this, &ListJob::onThreadFinished);
    m_thread->start();
}

void ListJob::cancel()
{
    if (m_state)
        m_state->stopped = true;
}

void ListJob::onThreadFinished()
{
    m_thread->wait();
    delete std::exchange(m_thread, nullptr);
    std::shared_ptr<State> state = std::move(m_state);
    if (!state->stopped && state->outcome)
        state->outcome();
    // What the work read, and what its outcome let go (a list's former rows), is freed on a thread of the pool:
    // freeing a gigabyte takes over 100 ms.
    QThreadPool::globalInstance()->start([state = std::move(state)]() mutable { state.reset(); });
    Q_EMIT finished();
}

#include "history/HistoryRecorder.h"

#include "checker/CheckRun.h"
#include "history/HistoryStore.h"
#include "proxylist/ProxyList.h"

#include <QDateTime>

#include <chrono>

namespace {
// The longest a verdict waits for its commit.
constexpr std::chrono::seconds CommitEvery{1};
} // namespace

HistoryRecorder::HistoryRecorder(QString path, QObject *parent) : QObject(parent), m_path(std::move(path)) {}

HistoryRecorder::~HistoryRecorder()
{
    if (!m_writer.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    m_writer.join();
}

QString HistoryRecorder::start()
{
    m_writer = std::thread([this] { writeLoop(); });
    std::unique_lock lock(m_mutex);
    m_written.wait(lock, [this] { return m_opened || !m_problem.isEmpty(); });
    return m_problem;
}

void HistoryRecorder::follow(const CheckRun &run, const ProxyList &list)
{
    connect(&run.probes(), &ProbeSet::verdictWritten, this, [this, &list](int row, const RowVerdict &verdict) {
        const QLatin1StringView text = list.text(row);
        // The country noted beside the row: what the run's own output then reads again.
        record({QByteArray(text.data(), text.size()), QDateTime::currentMSecsSinceEpoch(), verdict.result,
                verdict.exitAddress, verdict.echoHost,
                verdict.site ? QString::fromLatin1(verdict.site->word()) : QString(), list.countryCode(row)});
    });
    // The end of a run is committed at once.
    connect(&run, &CheckRun::finished, this, [this] {
        {
            const std::lock_guard lock(m_mutex);
            m_flushNow = true;
        }
        m_wake.notify_one();
    });
}

void HistoryRecorder::record(CheckRecord record)
{
    const std::lock_guard lock(m_mutex);
    if (!m_opened || !m_problem.isEmpty())
        return;
    m_queue.push_back(std::move(record));
    ++m_recorded;
}

void HistoryRecorder::flush()
{
    std::unique_lock lock(m_mutex);
    if (!m_writer.joinable())
        return;
    const quint64 target = m_recorded;
    m_flushNow = true;
    m_wake.notify_one();
    m_written.wait(lock, [this, target] { return m_done >= target || !m_problem.isEmpty(); });
}

QString HistoryRecorder::problem() const
{
    const std::lock_guard lock(m_mutex);
    return m_problem;
}

void HistoryRecorder::stopWith(const QString &why)
{
    {
        const std::lock_guard lock(m_mutex);
        m_problem = why;
        m_queue.clear();
    }
    m_written.notify_all();
    QMetaObject::invokeMethod(
        this, [this, why] { Q_EMIT failed(why); }, Qt::QueuedConnection);
}

void HistoryRecorder::writeLoop()
{
    // Qt SQL's connections belong to the thread that made them.
    HistoryStore store(m_path);
    if (const QString why = store.open(); !why.isEmpty())
        return stopWith(why);
    {
        const std::lock_guard lock(m_mutex);
        m_opened = true;
    }
    m_written.notify_all();
    std::vector<CheckRecord> batch;
    for (bool ending = false; !ending;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(lock, CommitEvery, [this] { return m_ending || m_flushNow; });
            m_flushNow = false;
            ending = m_ending;
            batch.swap(m_queue);
        }
        if (batch.empty())
            continue;
        if (const QString why = store.write(batch); !why.isEmpty())
            return stopWith(why);
        {
            const std::lock_guard lock(m_mutex);
            m_done += batch.size();
        }
        batch.clear();
        m_written.notify_all();
    }
}

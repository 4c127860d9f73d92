#include "checker/CheckRun.h"

#include "proxylist/ProxyList.h"

CheckRun::CheckRun(ProxyList &list, const Clock *clock, QObject *parent)
    : QObject(parent), m_list(list), m_rows(list), m_probes(list, clock ? *clock : m_steadyClock),
      m_batches(m_probes, m_rows, clock ? *clock : m_steadyClock),
      m_pool(m_probes, m_rows, clock ? *clock : m_steadyClock)
{
    connect(&m_probes, &ProbeSet::judged, this, &CheckRun::judged);
    for (Scheduler *scheduler : {static_cast<Scheduler *>(&m_batches), static_cast<Scheduler *>(&m_pool)})
        connect(scheduler, &Scheduler::finished, this, &CheckRun::onSchedulerFinished);
}

void CheckRun::start(CheckRows::Mode mode)
{
    if (m_list.count() < 1 || m_running)
        return;
    m_rows.start(mode);
    m_running = true;
    Q_EMIT started();
    m_list.resetResults(m_rows.rowsToReset());
    m_scheduler->start(m_settings);
}

void CheckRun::onSchedulerFinished()
{
    Q_EMIT finished(m_probes.shortage());
    m_running = false;
}

void CheckRun::setProbeHost(const QString &host)
{
    if (const std::optional<EchoHost> echo = EchoHost::parse(host))
        m_probes.echoHost() = *echo;
}

void CheckRun::stop()
{
    m_scheduler->stop();
    m_running = false;
}

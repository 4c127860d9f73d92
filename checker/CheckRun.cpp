#include "checker/CheckRun.h"

#include "proxylist/ProxyTableModel.h"

#include <QPointer>

CheckRun::CheckRun(ProxyTableModel &table, const Clock *clock, QObject *parent)
    : QObject(parent), m_table(table), m_rows(table), m_probes(table, clock ? *clock : m_steadyClock),
      m_batches(m_probes, m_rows, m_settings, m_aborted, clock ? *clock : m_steadyClock),
      m_pool(m_probes, m_rows, m_settings, m_aborted, clock ? *clock : m_steadyClock)
{
    connect(&m_probes, &ProbeSet::judged, this, &CheckRun::judged);
}

void CheckRun::run(CheckRows::Mode mode)
{
    if (m_table.count() < 1)
        return;
    m_rows.start(mode);
    m_aborted = false;
    Q_EMIT started();
    m_table.resetResults(m_rows.rowsToReset());
    m_running = true;

    // The scheduler and whoever handles finished() run the event loop: this object may be gone when they return.
    const QPointer<CheckRun> alive(this);
    m_scheduler->checkProxies();
    if (!alive)
        return;
    m_aborted = false;
    if (!m_scheduler->stopped())
        Q_EMIT finished(m_probes.shortage());
    if (alive)
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
}

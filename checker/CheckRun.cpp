#include "checker/CheckRun.h"

#include "checker/CheckRunHost.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"

#include <QPointer>

CheckRun::CheckRun(ProxyTableModel &table, StatusPanels &panels, CheckRunHost &host, const Clock *clock,
                   QObject *parent)
    : QObject(parent), m_table(table), m_panels(panels), m_host(host), m_rows(table),
      m_scheduler(table, m_rows, m_settings, m_abortRequested, clock ? *clock : m_steadyClock)
{}

void CheckRun::run(int index)
{
    if (m_table.count() < 1)
        return;
    m_rows.start(index);
    m_abortRequested = false;
    m_host.setCommandsLocked(true);
    m_rows.resetRows();
    m_running = true;

    // The scheduler and the message box both run the event loop: the window, and this object with it, may be
    // gone when they return.
    const QPointer<CheckRun> alive(this);
    m_scheduler.checkProxies();
    if (!alive)
        return;
    m_abortRequested = false;
    if (m_scheduler.stopped()) {
        m_running = false;
        return;
    }
    m_host.setCommandsLocked(false);
    m_panels.updateCounters(m_table);
    m_host.showCompletionMessage(m_scheduler.shortage());
    if (alive)
        m_running = false;
}

void CheckRun::stop()
{
    m_scheduler.stop();
}

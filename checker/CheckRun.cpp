#include "checker/CheckRun.h"

#include "checker/CheckRunHost.h"
#include "checker/RunControl.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"

#include <QPointer>

CheckRun::CheckRun(ProxyTableModel &table, StatusPanels &panels, RunControl &run, CheckRunHost &host,
                   const Clock *clock, QObject *parent)
    : QObject(parent), m_table(table), m_panels(panels), m_run(run), m_host(host), m_rows(table),
      m_scheduler(table, run, m_rows, clock ? *clock : m_steadyClock)
{}

void CheckRun::run(int index)
{
    if (m_table.count() < 1)
        return;
    m_rows.TestMode = index;
    m_rows.TestCursor = 0;
    m_run.AbortTest = false;
    m_host.setCommandsLocked(true);
    m_rows.ResetTestRows();
    m_run.IsTesting = true;

    // The scheduler and the message box both run the event loop: the window, and this object with it, may be
    // gone when they return.
    const QPointer<CheckRun> alive(this);
    m_scheduler.CheckProxies();
    if (!alive)
        return;
    m_run.AbortTest = false;
    if (m_scheduler.stopped()) {
        m_run.IsTesting = false;
        return;
    }
    m_host.setCommandsLocked(false);
    m_panels.UpdateCounters(m_table);
    m_host.showCompletionMessage();
    if (alive)
        m_run.IsTesting = false;
}

void CheckRun::stop()
{
    m_scheduler.stop();
}

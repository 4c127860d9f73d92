#include "checker/SlotScheduler.h"

#include "checker/CheckRows.h"
#include "checker/Clock.h"
#include "proxylist/CellText.h"
#include "proxylist/ProxyTableModel.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <climits>

SlotScheduler::SlotScheduler(ProxyTableModel &table, CheckRows &rows, const CheckSettings &settings,
                             const bool &abortRequested, const Clock &clock, QObject *parent)
    : QObject(parent), m_table(table), m_rows(rows), m_settings(settings), m_abortRequested(abortRequested),
      m_clock(clock)
{
    connect(&m_sockProxy, &SocketSlotArray::connected, this, &SlotScheduler::onConnect);
    connect(&m_sockProxy, &SocketSlotArray::closed, this, &SlotScheduler::onClose);
    connect(&m_sockProxy, &SocketSlotArray::failed, this, &SlotScheduler::onError);
}

SlotScheduler::~SlotScheduler()
{
    stop();
}

void SlotScheduler::checkProxies()
{
    m_stopped = false;
    m_shortage.clear();
    for (;;) {
        std::optional<CheckRows::Next> next = m_rows.nextProxy();
        if (!next || m_abortRequested)
            return;
        const int slots = std::max(1, m_settings.slotsPerBatch);
        for (int i = 1; i <= slots; ++i) {
            // A full batch asks for no further row: the next pass does.
            if (!startSlot(i, *next) || i == slots || !(next = m_rows.nextProxy()))
                break;
        }
        if (!waitUntil(m_clock.nowMs() + qint64(m_settings.timeoutSeconds) * 1000))
            return;
        timeoutPass(slots);
        m_sockProxy.dropUnloaded();
        if (m_abortRequested || !m_shortage.isEmpty())
            return;
    }
}

void SlotScheduler::stop()
{
    m_stopped = true;
    m_sockProxy.unloadAll();
    if (m_waitLoop)
        m_waitLoop->quit();
}

bool SlotScheduler::startSlot(int i, const CheckRows::Next &next)
{
    // Every batch ends with all its slots released; should a number still be held, its old connection goes first.
    if (!m_sockProxy.load(i)) {
        m_sockProxy.unload(i);
        m_sockProxy.load(i);
    }
    SocketSlot *slot = m_sockProxy.item(i);
    slot->setRow(next.row);
    // Connect only where the row points, read with the loader's number rules: never look a name up.
    const std::optional<ProxyValidator::Endpoint> endpoint = m_validator.endpoint(next.text);
    if (!endpoint) {
        writeVerdict(m_table, next.row, Verdict::error());
        m_sockProxy.unload(i);
        return true;
    }
    if (const int shortage = slot->connectTo(endpoint->address, endpoint->port)) {
        // Not the proxy's failure: the row stays untested, for "Test untested proxies" to pick up later.
        m_sockProxy.unload(i);
        m_table.setSubItem(next.row, ProxyTableModel::Status, CellText::Untested);
        m_shortage = qt_error_string(shortage);
        return false;
    }
    return true;
}

void SlotScheduler::onConnect(int n)
{
    if (SocketSlot *slot = m_sockProxy.item(n); slot && m_table.isValidRow(slot->row())) {
        if (const auto verdict = m_exchange.onConnected(*slot, m_table.itemText(slot->row())))
            finish(n, *verdict);
    }
}

void SlotScheduler::onClose(int n)
{
    if (const SocketSlot *slot = m_sockProxy.item(n); slot && m_table.isValidRow(slot->row()))
        finish(n, ProbeExchange::onClosed(*slot, m_table.itemText(slot->row())));
    else
        m_sockProxy.unload(n);
}

void SlotScheduler::onError(int n)
{
    if (const SocketSlot *slot = m_sockProxy.item(n); slot && m_table.isValidRow(slot->row()))
        finish(n, ProbeExchange::onFailed(*slot, m_table.itemText(slot->row())));
    else
        m_sockProxy.unload(n);
}

void SlotScheduler::finish(int n, const Verdict &verdict)
{
    const SocketSlot *slot = m_sockProxy.item(n);
    if (!slot)
        return;
    const int row = slot->row();
    // Released first: writing the verdict tells the table's watchers, and they may do anything.
    m_sockProxy.unload(n);
    writeVerdict(m_table, row, verdict);
}

bool SlotScheduler::waitUntil(qint64 deadline)
{
    const QPointer<SlotScheduler> alive(this);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_waitLoop = &loop;
    while (m_clock.nowMs() <= deadline) {
        timer.start(int(std::clamp<qint64>(m_clock.msUntil(deadline) + 1, 1, INT_MAX)));
        loop.exec();
        if (!alive)
            return false;
        if (m_stopped)
            break;
        // Something else ended the loop before the timer did: the application is quitting.
        if (timer.isActive()) {
            stop();
            break;
        }
    }
    m_waitLoop = nullptr;
    if (m_stopped)
        return false;
    // Whatever came in before the deadline is handled before the timeout pass judges what is still open: one pass,
    // not until idle, since a proxy that never stops talking always has more.
    QCoreApplication::processEvents();
    return alive && !m_stopped;
}

void SlotScheduler::timeoutPass(int slots)
{
    for (int i = 1; i <= slots; ++i) {
        const SocketSlot *slot = m_sockProxy.item(i);
        if (!slot)
            continue;
        const int row = slot->row();
        // Every slot goes, its answer with it; only a row still waiting gets "Timeout".
        m_sockProxy.unload(i);
        if (m_table.isValidRow(row) && m_table.subItem(row, ProxyTableModel::Status) == CellText::Checking)
            writeVerdict(m_table, row, Verdict::timeout());
    }
}

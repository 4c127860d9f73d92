#pragma once

#include "checker/CheckRows.h"
#include "checker/CheckSettings.h"
#include "checker/ProbeExchange.h"
#include "checker/SocketSlotArray.h"
#include "proxylist/ProxyValidator.h"

#include <QObject>

class Clock;
class ProxyTableModel;
class QEventLoop;

// checkProxies, the engine of a check run: hands the rows of the run out to socket slots in batches of
// slotsPerBatch, lets each batch's probes work for timeoutSeconds while the event loop runs, then marks every probe
// still open "Timeout". Abort is honoured after the batch under way.
//
// The scheduler alone loads and releases slots: the probe exchange says what each event of a slot means, and the
// scheduler writes that verdict to the slot's row and lets the slot go.
class SlotScheduler : public QObject
{
    Q_OBJECT

public:
    // settings and abortRequested belong to the run; the scheduler reads them at each batch.
    SlotScheduler(ProxyTableModel &table, CheckRows &rows, const CheckSettings &settings, const bool &abortRequested,
                  const Clock &clock, QObject *parent = nullptr);
    ~SlotScheduler() override;

    // Returns when no row is left, after the batch in which Abort was pressed or this machine ran out of sockets,
    // or when stopped.
    void checkProxies();
    // Ends the run at once, from inside its wait: every slot is released and no row is judged or handed out.
    void stop();
    bool stopped() const { return m_stopped; }
    // Why the last run stopped early for want of sockets (the system's words), or empty.
    const QString &shortage() const { return m_shortage; }

    SocketSlotArray &slots() { return m_sockProxy; }
    ProbeExchange &exchange() { return m_exchange; }

private:
    // False when this machine could give no socket for the row: it is left untested.
    bool startSlot(int i, const CheckRows::Next &next);
    void onConnect(int n);
    void onClose(int n);
    void onError(int n);
    // Releases slot n, then writes the verdict to the row it probed.
    void finish(int n, const Verdict &verdict);
    // Runs the event loop until the clock is past the deadline; false when the run was stopped or this object
    // destroyed meanwhile.
    bool waitUntil(qint64 deadline);
    void timeoutPass(int slots);

    ProxyTableModel &m_table;
    CheckRows &m_rows;
    const CheckSettings &m_settings;
    const bool &m_abortRequested;
    const Clock &m_clock;
    ProxyValidator m_validator;
    SocketSlotArray m_sockProxy;
    ProbeExchange m_exchange;
    QEventLoop *m_waitLoop = nullptr;
    bool m_stopped = false;
    QString m_shortage;
};

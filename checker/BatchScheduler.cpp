#include "checker/BatchScheduler.h"

#include "checker/Clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <climits>

BatchScheduler::BatchScheduler(ProxyTableModel &table, CheckRows &rows, const CheckSettings &settings,
                               const bool &aborted, const Clock &clock, QObject *parent)
    : QObject(parent), m_rows(rows), m_settings(settings), m_aborted(aborted), m_clock(clock), m_probes(table, clock)
{}

BatchScheduler::~BatchScheduler()
{
    stop();
}

void BatchScheduler::checkProxies()
{
    m_stopped = false;
    m_probes.clearShortage();
    if (!lookUpEchoHost())
        return;
    for (;;) {
        std::optional<int> next = m_rows.nextRow();
        if (!next || m_aborted)
            return;
        const int slots = std::max(1, m_settings.slotsPerBatch);
        for (int i = 1; i <= slots; ++i) {
            // A full batch asks for no further row: the next pass does.
            if (!m_probes.start(*next) || i == slots || !(next = m_rows.nextRow()))
                break;
        }
        if (!waitUntil(m_clock.nowMs() + qint64(m_settings.timeoutSeconds) * 1000))
            return;
        m_probes.timeOutAll();
        m_probes.dropReleased();
        if (m_aborted || !m_probes.shortage().isEmpty())
            return;
    }
}

void BatchScheduler::stop()
{
    m_stopped = true;
    m_probes.releaseAll();
    if (m_waitLoop)
        m_waitLoop->quit();
}

bool BatchScheduler::lookUpEchoHost()
{
    EchoHost &echo = m_probes.echoHost();
    if (echo.address() || !m_probes.hasSocks4Rows())
        return true;
    std::optional<quint32> address;
    bool answered = false;
    // The receiver goes with this call: an answer that comes later is dropped.
    QObject receiver;
    QHostInfo::lookupHost(echo.name(), &receiver, [&](const QHostInfo &info) {
        answered = true;
        for (const QHostAddress &found : info.addresses()) {
            if (found.protocol() == QAbstractSocket::IPv4Protocol && !address)
                address = found.toIPv4Address();
        }
        if (m_waitLoop)
            m_waitLoop->quit();
    });
    if (!waitUntil(m_clock.nowMs() + qint64(m_settings.timeoutSeconds) * 1000, [&answered] { return answered; }))
        return false;
    if (address)
        echo.setAddress(*address);
    return true;
}

bool BatchScheduler::waitUntil(qint64 deadline, const std::function<bool()> &done)
{
    const QPointer<BatchScheduler> alive(this);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_waitLoop = &loop;
    while (m_clock.nowMs() <= deadline && !(done && done())) {
        timer.start(int(std::clamp<qint64>(m_clock.msUntil(deadline) + 1, 1, INT_MAX)));
        loop.exec();
        if (!alive)
            return false;
        if (m_stopped || (done && done()))
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

#include "checker/Scheduler.h"

#include "checker/Clock.h"
#include "checker/ProbeSet.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <climits>

Scheduler::Scheduler(ProbeSet &probes, CheckRows &rows, const CheckSettings &settings, const bool &aborted,
                     const Clock &clock)
    : m_probes(probes), m_rows(rows), m_settings(settings), m_clock(clock), m_aborted(aborted)
{}

Scheduler::~Scheduler()
{
    stop();
}

void Scheduler::checkProxies()
{
    m_stopped = false;
    m_probes.clearShortage();
    if (lookUpEchoHost())
        schedule();
}

void Scheduler::stop()
{
    m_stopped = true;
    m_probes.releaseAll();
    wake();
}

bool Scheduler::mayStart() const
{
    return !m_aborted && !m_stopped && m_probes.shortage().isEmpty();
}

void Scheduler::wake()
{
    m_woken = true;
    if (m_waitLoop)
        m_waitLoop->quit();
}

bool Scheduler::lookUpEchoHost()
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
        wake();
    });
    if (!waitUntil(m_clock.nowMs() + qint64(m_settings.timeoutSeconds) * 1000, [&answered] { return answered; }))
        return false;
    if (address)
        echo.setAddress(*address);
    return true;
}

bool Scheduler::waitUntil(qint64 deadline, const std::function<bool()> &done)
{
    const QPointer<Scheduler> alive(this);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_waitLoop = &loop;
    while (m_clock.nowMs() <= deadline && !(done && done())) {
        timer.start(int(std::clamp<qint64>(m_clock.msUntil(deadline) + 1, 1, INT_MAX)));
        m_woken = false;
        loop.exec();
        if (!alive)
            return false;
        if (m_stopped || (done && done()))
            break;
        // Neither the timer nor this scheduler ended the loop: the application is quitting.
        if (timer.isActive() && !m_woken) {
            stop();
            break;
        }
    }
    m_waitLoop = nullptr;
    if (m_stopped)
        return false;
    // Whatever came in before the deadline is handled before the probes still open are judged: one pass, not
    // until idle, since a proxy that never stops talking always has more.
    QCoreApplication::processEvents();
    return alive && !m_stopped;
}

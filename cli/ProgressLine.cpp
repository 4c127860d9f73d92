#include "cli/ProgressLine.h"

#include "checker/CheckRun.h"
#include "proxylist/ProxyList.h"

#include <algorithm>
#include <cstdio>

ProgressLine::ProgressLine(const ProxyList &list, const CheckRun &run, QObject *parent)
    : QObject(parent), m_list(list), m_run(run)
{
    connect(&run, &CheckRun::judged, this, &ProgressLine::countVerdict);
    connect(&m_timer, &QTimer::timeout, this, &ProgressLine::draw);
}

ProgressLine::~ProgressLine()
{
    // The counts as the run left them, then the terminal as it was for whatever is printed next.
    if (m_drawn) {
        draw();
        std::fputs("\r\033[K", stderr);
    }
}

void ProgressLine::start()
{
    m_elapsed.start();
    m_timer.start(250);
}

void ProgressLine::note(const QString &text)
{
    std::fputs((QStringLiteral("\r\033[K") + text + u'\n').toLocal8Bit().constData(), stderr);
    draw();
}

void ProgressLine::countVerdict(int row)
{
    ++m_tested;
    m_working += m_list.result(row).status == ProxyStatus::Working ? 1 : 0;
}

void ProgressLine::draw()
{
    const QString line = m_run.isPool() ? poolLine() : batchLine();
    std::fputs((u'\r' + line + QStringLiteral("\033[K")).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    m_drawn = true;
}

QString ProgressLine::poolLine() const
{
    return QStringLiteral("%1 of %2 tested, %3 working, %4 under way")
        .arg(m_tested)
        .arg(m_list.count())
        .arg(m_working)
        .arg(m_run.probes().openCount());
}

QString ProgressLine::batchLine() const
{
    const CheckSettings &settings = m_run.settings();
    const int perBatch = std::max(1, settings.probesAtOnce);
    const int batches = (m_list.count() + perBatch - 1) / perBatch;
    const int batch = std::clamp((m_run.rows().examined() + perBatch - 1) / perBatch, 1, std::max(1, batches));
    // Every batch waits its whole timeout.
    const qint64 leftMs = std::max<qint64>(0, qint64(batches) * settings.timeout.count() - m_elapsed.elapsed());
    return QStringLiteral("batch %1 of %2, %3 of %4 tested, %5 working, %6 s left")
        .arg(batch)
        .arg(batches)
        .arg(m_tested)
        .arg(m_list.count())
        .arg(m_working)
        .arg((leftMs + 999) / 1000);
}

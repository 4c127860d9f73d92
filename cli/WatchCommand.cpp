#include "cli/WatchCommand.h"

#include "cli/CheckCommand.h"
#include "cli/CliHistory.h"
#include "cli/SignalWatch.h"
#include "cli/StandardStreams.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyLoader.h"
#include "proxylist/ProxyValidator.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace {
// The middle value, or the mean of the two middle ones; nothing of none.
std::optional<int> median(std::vector<int> values)
{
    if (values.empty())
        return std::nullopt;
    const auto middle = values.begin() + qsizetype(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 != 0)
        return *middle;
    return (*middle + *std::max_element(values.begin(), middle) + 1) / 2;
}
} // namespace

QString WatchCommand::summary(const ProxyList &list)
{
    int working = 0;
    int anonymous = 0;
    std::vector<int> times;
    std::vector<int> uptimes;
    for (int row = 0; row < list.count(); ++row) {
        const ProxyResult result = list.result(row);
        working += result.status == ProxyStatus::Working;
        anonymous += result.anonymity == Anonymity::Anonymous;
        if (result.ms)
            times.push_back(*result.ms);
        if (const std::optional<RowHistory> history = list.history(row); history && history->counted > 0)
            uptimes.push_back(history->uptimePercent());
    }
    const std::optional<int> ms = median(std::move(times));
    const std::optional<int> uptime = median(std::move(uptimes));
    return tr("%1 working %2/%3, anonymous %4, median %5, uptime median %6\n")
        .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate))
        .arg(working)
        .arg(list.count())
        .arg(anonymous)
        .arg(ms ? tr("%1 ms").arg(*ms) : QStringLiteral("-"), uptime ? tr("%1%").arg(*uptime) : QStringLiteral("-"));
}

bool WatchCommand::waitUntil(qint64 moment, const QElapsedTimer &clock, SignalWatch &signals)
{
    if (signals.exitStatus() != 0)
        return false;
    QEventLoop wait;
    QTimer::singleShot(std::max<qint64>(moment - clock.elapsed(), 0), &wait, &QEventLoop::quit);
    QObject::connect(&signals, &SignalWatch::interruptRequested, &wait, &QEventLoop::quit);
    QObject::connect(&signals, &SignalWatch::stopRequested, &wait, &QEventLoop::quit);
    wait.exec();
    return signals.exitStatus() == 0;
}

int WatchCommand::run()
{
    SignalWatch signals;
    CliHistory history(m_options);
    const ProxyValidator validator;
    QElapsedTimer clock;
    clock.start();
    for (qint64 roundStart = 0;; roundStart = std::max(roundStart + m_options.everyMs, clock.elapsed())) {
        if (!waitUntil(roundStart, clock, signals))
            return signals.exitStatus();
        // Read afresh each round: the list may have changed. One that cannot be read now may be by the next.
        ProxyList list;
        const QStringList failures =
            ProxyLoader(list, validator).mergeLists(m_options.files, ListFileReader::PipesAndDevicesToo);
        for (const QString &failure : failures)
            printError(tr("cannot read %1: this round is skipped").arg(failure));
        if (!failures.isEmpty())
            continue;
        bool unwritten = false;
        const int status = CheckCommand(list, m_options).check(signals, history, [&] {
            history.annotate(list);
            QString failure = writeToStandardOutput(summary(list).toUtf8());
            unwritten = !failure.isEmpty();
            return failure;
        });
        if (signals.exitStatus() != 0 || unwritten || status == 2)
            return signals.exitStatus() != 0 ? signals.exitStatus() : status;
    }
}

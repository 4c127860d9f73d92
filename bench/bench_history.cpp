// History benchmark: what keeping a check's verdicts costs, and how fast the history answers.
//
//   bench_history [N] [FOLDER]   N verdicts (100,000 by default) handed to the recorder as fast as they come, then
//                                its last commit waited for: the wall time it adds to a run (target 1 s) and the
//                                file's size (target 20 MB); then nine more checks of the same N proxies, and the
//                                history of all of them read back, in this process and through korvane-cli history
//                                (target 1 s each). The files go to FOLDER (a new temporary folder by default).
#include "bench/BenchStep.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {
using BenchStep::mix;

// A verdict as a real run gives it: 1 in 5 working, with a time, an exit address and a country.
CheckRecord verdict(int proxy, int check)
{
    const quint64 h = mix(quint64(proxy) * 16 + quint64(check));
    const quint32 address = 0x0B000000 + quint32(mix(quint64(proxy)) % 0xC0000000);
    const QByteArray text = QByteArray::number(address >> 24) + '.' + QByteArray::number((address >> 16) & 255) + '.' +
                            QByteArray::number((address >> 8) & 255) + '.' + QByteArray::number(address & 255) + ':' +
                            QByteArray::number(1024 + proxy % 60000);
    CheckRecord record{text, 1796700000000 + qint64(check) * 600000 + proxy / 100,
                       ProxyResult::failed(ProxyStatus::Timeout)};
    if (h % 5 == 0) {
        record.result = ProxyResult::graded(Grade(1 + h % 3));
        record.result.ms = int(50 + h % 3000);
        record.exitAddress = QStringLiteral("203.0.113.%1").arg(h % 250);
        record.country = QStringLiteral("DE");
    }
    record.echoHost = QStringLiteral("echo.example:8080");
    return record;
}

bool report(const char *what, double value, double target, const char *unit)
{
    std::printf("%-58s %10.2f %s (target %.0f)\n", what, value, unit, target);
    return value <= target;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    const QString path = folder + QStringLiteral("/history.sqlite");
    QFile::remove(path);
    bool met = true;

    QElapsedTimer wall;
    {
        HistoryRecorder recorder(path);
        if (const QString why = recorder.start(); !why.isEmpty()) {
            std::printf("%s\n", qPrintable(why));
            return 1;
        }
        std::vector<CheckRecord> records;
        records.reserve(size_t(count));
        for (int p = 0; p < count; ++p)
            records.push_back(verdict(p, 0));
        wall.start();
        for (CheckRecord &record : records)
            recorder.record(std::move(record));
        const double handed = double(wall.nsecsElapsed()) / 1e6;
        recorder.flush();
        std::printf("%d verdicts handed to the recorder in %.0f ms on the run's thread\n", count, handed);
        met &= report("wall added to the run: handing over and the last commit", double(wall.elapsed()), 1000, "ms");
    }
    met &= report("history file after one check of each", double(QFileInfo(path).size()) / 1e6, 20, "MB");

    {
        HistoryStore store(path);
        if (const QString why = store.open(); !why.isEmpty()) {
            std::printf("%s\n", qPrintable(why));
            return 1;
        }
        wall.start();
        for (int check = 1; check < 10; ++check) {
            std::vector<CheckRecord> records;
            records.reserve(size_t(count));
            for (int p = 0; p < count; ++p)
                records.push_back(verdict(p, check));
            if (const QString why = store.write(records); !why.isEmpty()) {
                std::printf("%s\n", qPrintable(why));
                return 1;
            }
        }
        std::printf("nine more checks of each written in %.2f s; file %.1f MB\n", double(wall.elapsed()) / 1000,
                    double(QFileInfo(path).size()) / 1e6);
        wall.start();
        const auto every = store.everyHistory();
        met &= report("history of every proxy, in this process", double(wall.elapsed()), 1000, "ms");
        std::printf("  %zu proxies read\n", every ? every.value().size() : size_t(0));
    }

    QProcess history;
    history.setStandardOutputFile(QProcess::nullDevice());
    wall.start();
    history.start(QStringLiteral(KORVANE_CLI), {QStringLiteral("history"), QStringLiteral("--db"), path});
    if (!history.waitForFinished(60000) || history.exitCode() != 0) {
        std::printf("korvane-cli history failed: %s\n", history.readAllStandardError().constData());
        return 1;
    }
    met &= report("korvane-cli history --db FILE > /dev/null", double(wall.elapsed()), 1000, "ms");
    return met ? 0 : 1;
}

// List benchmark: a generated file of a million lines (valid, invalid and repeated) loaded into an empty list
// (with CR LF and with LF line ends), merged into a list of a million rows, filtered and saved. Each step reports its
// time and its own peak memory.
//
//   bench_lists                      generate a file in a temporary folder and run every step on it
//   bench_lists generate PATH [N]    only write the file (N lines, 1,000,000 by default)
//   bench_lists PATH                 run every step on an existing file
//   bench_lists longline [MB]        load a file of one line with no break (200 MB by default), once with a
//                                    line that fails the test and once with one that passes
#include "bench/BenchStep.h"
#include "proxylist/ListFileWriter.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyLoader.h"
#include "proxylist/ProxyValidator.h"
#include "proxylist/ProxyWriter.h"
#include "proxylist/RowText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {
constexpr int DefaultLines = 1000000;

using BenchStep::mix;
using BenchStep::statusKiB;
using BenchStep::Step;

QByteArray proxyLine(quint64 id)
{
    const quint64 h = mix(id);
    return QByteArray::number(1 + h % 223) + '.' + QByteArray::number((h >> 8) & 255) + '.' +
           QByteArray::number((h >> 16) & 255) + '.' + QByteArray::number((h >> 24) & 255) + ':' +
           QByteArray::number(1024 + (h >> 32) % 60000);
}

// About 70 % new proxies, 15 % repeats of earlier lines and 15 % lines that fail the test; CR LF breaks.
QByteArray generatedLine(quint64 i)
{
    const quint64 kind = mix(i ^ 0x9e3779b97f4a7c15ULL) % 100;
    if (kind < 15) {
        const QByteArray invalid[] = {
            "proxy.example.org:8080", "10.0.0:3128", "300.1.2.3:80", "1.2.3.4", "# free proxies", "", "1.2.3.4:port"};
        return invalid[kind % std::size(invalid)];
    }
    if (kind < 30 && i > 0)
        return proxyLine(mix(i) % i);
    return proxyLine(i);
}

bool generate(const QString &path, int lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        chunk += generatedLine(quint64(i)) + "\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size() && file.flush();
}

int run(const QString &path)
{
    const ProxyValidator validator;
    std::printf("file %s, %.1f MB, start %.1f MB resident\n", qPrintable(path), double(QFile(path).size()) / 1048576.0,
                double(statusKiB("VmRSS:")) / 1024.0);

    {
        ProxyList list;
        {
            Step step("load and replace (empty table)");
            if (!ProxyLoader(list, validator).loadFromFile(path, false))
                return 1;
        }
        std::printf("  rows kept: %d\n", list.count());
    }
    {
        // The same lines ending in a lone LF, as lists on this platform mostly do.
        QTemporaryDir folder;
        const QString lfPath = folder.filePath(QStringLiteral("lf.txt"));
        QFile source(path);
        QFile lf(lfPath);
        if (!source.open(QIODevice::ReadOnly) || !lf.open(QIODevice::WriteOnly) ||
            lf.write(source.readAll().replace("\r\n", "\n")) < 0 || !lf.flush())
            return 1;
        ProxyList list;
        {
            Step step("load and replace, LF line ends");
            if (!ProxyLoader(list, validator).loadFromFile(lfPath, false))
                return 1;
        }
        std::printf("  rows kept: %d\n", list.count());
    }

    ProxyList list;
    QStringList existing;
    existing.reserve(DefaultLines);
    // Every other row also appears in the file, so the merge drops real duplicates against the list.
    for (quint64 i = 0; i < DefaultLines; ++i)
        existing.append(QString::fromLatin1(proxyLine(i % 2 ? i : i + (quint64(1) << 40))));
    list.addRows(existing);
    ProxyLoader(list, validator).loadFromBytes({}, true);
    std::printf("table of %d rows, %.1f MB resident\n", list.count(), double(statusKiB("VmRSS:")) / 1024.0);
    {
        Step step("load and merge into the table");
        if (!ProxyLoader(list, validator).loadFromFile(path, true))
            return 1;
    }
    std::printf("  rows after merge: %d\n", list.count());

    {
        Step step("export text of all rows (clipboard)");
        const QString text = RowText::decode(ProxyWriter::list(list, ProxyFilter::everyRow().rows(list)));
        if (text.isEmpty())
            return 1;
    }
    QTemporaryDir out;
    {
        Step step("save all rows to a file");
        const QByteArray saved = ProxyWriter::list(list, ProxyFilter::everyRow().rows(list));
        if (!ListFileWriter(out.filePath(QStringLiteral("saved.txt"))).write(saved))
            return 1;
    }
    for (int row = 0; row < list.count(); row += 2)
        list.apply(row, {ProxyResult::working(true)});
    {
        Step step("filter: keep working (every other row)");
        ProxyFilter::working().apply(list);
    }
    std::printf("  rows kept: %d\n", list.count());
    return 0;
}
int longLine(int megabytes)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("long.txt"));
    const ProxyValidator validator;
    for (const QByteArray &start : {QByteArray("no proxy here "), QByteArray("1.2.3.4:80:")}) {
        {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return 1;
            file.write(start);
            const QByteArray filler(1 << 20, '\xab');
            for (int i = 0; i < megabytes; ++i)
                file.write(filler);
        }
        ProxyList list;
        {
            Step step(start.startsWith('1') ? "one long line, accepted" : "one long line, rejected");
            if (!ProxyLoader(list, validator).loadFromFile(path, false))
                return 1;
        }
        std::printf("  rows: %d, first row %lld characters\n", list.count(),
                    list.count() ? qint64(list.text(0).size()) : 0LL);
    }
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("generate") && args.size() >= 2) {
        const int lines = args.size() > 2 ? args[2].toInt() : DefaultLines;
        return generate(args[1], lines) ? 0 : 1;
    }
    if (args.value(0) == QLatin1String("longline"))
        return longLine(args.size() > 1 ? args[1].toInt() : 200);
    if (!args.isEmpty())
        return run(args[0]);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("proxies.txt"));
    if (!generate(path, DefaultLines))
        return 1;
    return run(path);
}

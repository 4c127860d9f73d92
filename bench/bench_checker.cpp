// Checker benchmark: 1,000 rows through the real scheduler in batches of 200 with a one-second timeout, against
// fake proxies on 127.0.0.1 to 127.0.0.10 run by a child process, so that the figures below are the checker's own.
// Reports the wall time against the floor of five full waits, each batch's length (target: under T + 50 ms), the
// CPU time used (target: under 0.5 s), the peak and remaining numbers of open descriptors, and whether every row
// got the verdict its proxy calls for.
//
//   bench_checker [ROWS [SLOTS [SECONDS]]]     defaults 1000 200 1
//   bench_checker --serve                      the child: fake proxies, one line per proxy on stdout
#include "CellText.h"
#include "FakeProxy.h"
#include "ProxyTableModel.h"
#include "RunControl.h"
#include "SocketSlotArray.h"
#include "StatusPanels.h"
#include "TestRun.h"
#include "TestRunHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <map>
#include <memory>
#include <sys/resource.h>

namespace {
constexpr int Addresses = 10;
// A port that nothing listens on, beside the behaviours of the fake proxies.
constexpr int Refused = -1;
// The mix of rows, by row number modulo 10: 4 anonymous, 2 not anonymous, 1 page without the marker, 1 refused,
// 1 reset, 1 silent.
const int Mix[10] = {FakeProxy::EchoOwnAddress,
                     FakeProxy::EchoOwnAddress,
                     FakeProxy::EchoOwnAddress,
                     FakeProxy::EchoOwnAddress,
                     FakeProxy::EchoOtherAddress,
                     FakeProxy::EchoOtherAddress,
                     FakeProxy::NoMarker,
                     Refused,
                     FakeProxy::Reset,
                     FakeProxy::Silent};

QHostAddress loopback(int a)
{
    return QHostAddress(quint32(0x7f000000 + a));
}

int serve(QCoreApplication &app)
{
    std::vector<std::unique_ptr<FakeProxy>> proxies;
    for (int a = 1; a <= Addresses; ++a) {
        for (FakeProxy::Behaviour behaviour : {FakeProxy::EchoOwnAddress, FakeProxy::EchoOtherAddress,
                                               FakeProxy::NoMarker, FakeProxy::Reset, FakeProxy::Silent}) {
            proxies.push_back(std::make_unique<FakeProxy>(behaviour, loopback(a)));
            std::printf("%d %d %d\n", a, int(behaviour), proxies.back()->port());
        }
        std::printf("%d %d %d\n", a, Refused, FakeProxy::refusedPort(loopback(a)));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QStringList expectedCells(int kind)
{
    switch (kind) {
    case FakeProxy::EchoOwnAddress:
        return {CellText::Anonymous, CellText::Working};
    case FakeProxy::EchoOtherAddress:
        return {CellText::NotAnonymous, CellText::Working};
    case FakeProxy::NoMarker:
        return {CellText::NoVerdict, CellText::InvalidResponse};
    case FakeProxy::Silent:
        return {CellText::NoVerdict, CellText::Timeout};
    default:
        return {CellText::NoVerdict, CellText::Error};
    }
}

class QuietHost final : public TestRunHost
{
public:
    void setCommandsLocked(bool) override {}
    void showCompletionMessage() override {}
};
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--serve"))
        return serve(app);
    const int rows = args.size() > 1 ? args[1].toInt() : 1000;
    const int slots = args.size() > 2 ? args[2].toInt() : 200;
    const int seconds = args.size() > 3 ? args[3].toInt() : 1;

    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    QProcess farm;
    farm.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});
    std::map<std::pair<int, int>, int> ports; // (address, behaviour) -> port
    QByteArray output;
    while (!output.contains("ready\n") && farm.waitForReadyRead(10000))
        output += farm.readAllStandardOutput();
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3)
            ports[{fields[0].toInt(), fields[1].toInt()}] = fields[2].toInt();
    }
    if (ports.size() != size_t(Addresses * 6)) {
        std::fprintf(stderr, "the fake proxies did not start\n");
        return 1;
    }

    ProxyTableModel table;
    StatusPanels panels;
    RunControl run;
    run.SliderValues = {slots, seconds};
    QuietHost host;
    TestRun testRun(table, panels, run, host);
    testRun.setProbeHost(QStringLiteral("127.0.0.1:9"));
    QStringList texts;
    for (int i = 0; i < rows; ++i) {
        const int a = 1 + (i / 10) % Addresses;
        texts.append(loopback(a).toString() + u':' + QString::number(ports[{a, Mix[i % 10]}]));
    }
    table.addRows(texts);

    // A batch starts when its first row turns "Checking..."; its descriptors peak once all its slots are open,
    // which is when its first event arrives.
    QElapsedTimer clock;
    std::vector<qint64> batchStarts;
    int peakDescriptors = 0;
    bool sampleDue = false;
    QObject::connect(&table, &ProxyTableModel::dataChanged, &table, [&](const QModelIndex &from) {
        if (from.column() == ProxyTableModel::StatusColumn && from.row() % slots == 0 &&
            table.subItem(from.row() + 1, ProxyTableModel::Status) == CellText::Checking) {
            batchStarts.push_back(clock.nsecsElapsed());
            sampleDue = true;
        }
    });
    const auto sample = [&] {
        if (std::exchange(sampleDue, false))
            peakDescriptors = std::max(peakDescriptors, openDescriptors());
    };
    SocketSlotArray &sockets = testRun.scheduler().sockProxy();
    QObject::connect(&sockets, &SocketSlotArray::Connect, &table, sample);
    QObject::connect(&sockets, &SocketSlotArray::Error, &table, sample);

    const int descriptorsBefore = openDescriptors();
    const double cpuBefore = cpuSeconds();
    clock.start();
    testRun.run(0);
    const qint64 end = clock.nsecsElapsed();
    const double cpu = cpuSeconds() - cpuBefore;
    QCoreApplication::processEvents();
    const int descriptorsAfter = openDescriptors();

    int correct = 0;
    for (int r = 1; r <= rows; ++r) {
        const QStringList cells{table.subItem(r, ProxyTableModel::Anonymity),
                                table.subItem(r, ProxyTableModel::Status)};
        correct += cells == expectedCells(Mix[(r - 1) % 10]);
    }

    farm.terminate();
    farm.waitForFinished(5000);

    const int batches = int(batchStarts.size());
    std::printf("rows %d, slots per batch %d, timeout %d s\n", rows, slots, seconds);
    std::printf("wall time      %8.3f s   (floor: %d batches of more than %d s, at most %d s)\n", double(end) / 1e9,
                batches, seconds, seconds + 1);
    double longest = 0;
    for (int b = 0; b < batches; ++b) {
        const qint64 stop = b + 1 < batches ? batchStarts[size_t(b) + 1] : end;
        const double ms = double(stop - batchStarts[size_t(b)]) / 1e6;
        longest = std::max(longest, ms);
        std::printf("  batch %d      %8.1f ms\n", b + 1, ms);
    }
    std::printf("longest batch  %8.1f ms  (target: under %d ms)\n", longest, seconds * 1000 + 50);
    std::printf("CPU time       %8.3f s   (target: under 0.5 s)\n", cpu);
    std::printf("descriptors    %d before, %d at the peak, %d after\n", descriptorsBefore, peakDescriptors,
                descriptorsAfter);
    std::printf("verdicts       %d of %d correct\n", correct, rows);
    return correct == rows && descriptorsAfter <= descriptorsBefore ? 0 : 1;
}

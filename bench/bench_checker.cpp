// Checker benchmark: one test run over all rows through the real scheduler, against fake proxies on 127.0.0.0/8
// served by a child process, so that the figures are the checker's own.
//
//   mix     1,000 rows, 200 at once, 1 s batches: in every 10 rows 4 anonymous, 2 not anonymous, 1 page without the
//           marker, 1 refused, 1 reset, 1 silent. Target: every row gets the verdict its proxy calls for.
//   stream  400 rows, 200 at once, 5 s batches, each proxy sending without end once the request is in. Targets: at
//           most 40 MB resident above the idle program, every timeout pass within T + 50 ms of its batch's start,
//           every row "Timeout".
//   close   10,000 rows, 1,000 at once, 1 s batches, each proxy writing the echo page and closing at once, every
//           other one with the close in the page's own segment. Target: every row "Working" with "Y".
//   late    10,000 rows, 1,000 at once, 1 s batches: nine rows in ten on a port that refuses the connection, every
//           tenth (rows 10, 20, ...) on a proxy that writes the echo page 500 ms after the request is in. Target:
//           those rows "Working" with "Y", the others "Error". korvane-cli's benchmark (bench/run-cli.sh) serves
//           this farm to its check.
//   silent  100,000 rows, 10,000 at once, 1 s: each on an address of its own (127.1.0.1 upwards, one port) whose
//           listener's backlog is full and never accepts, so that the kernel drops every SYN. Target: every row
//           "Timeout". bench/run-pool.sh serves it to korvane-cli.
//   dead    99,000 rows the same way, ten in eleven refused (a port bound on the address, no listener), every
//           eleventh silent. bench/run-pool.sh adds its working rows through real proxies.
//
// By default the run skips asking the echo host directly, as --no-echo-check does, and judges anonymity by the
// proxy's own address. With --echo-check the same run first asks an echo host that the child serves on 127.0.0.1,
// and judges anonymity against the address it shows (the rows on 127.0.0.1 are then "N", the others "Y"): the
// difference between the two is what that step costs. "first probe" says how long after the start the first row was
// probed.
//
// Each reports the wall time, every batch's length, CPU time, resident memory (idle, peak, after) and descriptors
// (before, at the peak, after: none may be left behind), and exits with 1 when a target is missed.
//
//   bench_checker [--echo-check] [mix|stream|close|late] [ROWS [SLOTS [SECONDS]]]
//   bench_checker --serve SCENARIO ROWS [echo]  the child: the fake proxies, one host:port per line on stdout;
//                                               with echo, the echo host's last
#include "app/ResultText.h"
#include "bench/BatchWatch.h"
#include "bench/LoopbackFarm.h"
#include "bench/ProcessFigures.h"
#include "checker/CheckRun.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyList.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
struct Scenario
{
    enum Kind { Mix, Stream, Close, Late, Silent, Dead } kind;
    QString name;
    int rows;
    int slots;
    int seconds;
    bool echoCheck = false;
};
const Scenario Scenarios[] = {{Scenario::Mix, QStringLiteral("mix"), 1000, 200, 1},
                              {Scenario::Stream, QStringLiteral("stream"), 400, 200, 5},
                              {Scenario::Close, QStringLiteral("close"), 10000, 1000, 1},
                              {Scenario::Late, QStringLiteral("late"), 10000, 1000, 1},
                              {Scenario::Silent, QStringLiteral("silent"), 100000, 10000, 1},
                              {Scenario::Dead, QStringLiteral("dead"), 99000, 10000, 1}};

constexpr int Addresses = 10;
// The fake proxies outlive no benchmark: they end with it, and after this long in any case.
constexpr qint64 ServeLimitMs = qint64(30) * 60 * 1000;
constexpr qint64 SlackNs = 50'000'000;
constexpr qint64 MemoryTargetBytes = 40'000'000;

// The mix: six proxies on each address, and the one that row i uses, by i modulo 10.
const LoopbackFarm::Behaviour MixProxies[] = {LoopbackFarm::EchoOwnAddress, LoopbackFarm::EchoOtherAddress,
                                              LoopbackFarm::NoMarker,       LoopbackFarm::Reset,
                                              LoopbackFarm::Silent,         LoopbackFarm::Refused};
const int MixRows[10] = {0, 0, 0, 0, 1, 1, 2, 5, 3, 4};

struct Proxy
{
    quint32 address;
    LoopbackFarm::Behaviour behaviour;
    // Any free one when 0.
    quint16 port = 0;
};

// The one port of the silent and dead farms: below the ephemeral range, so that their hundred thousand sockets take
// none of the ports the checker connects from.
constexpr quint16 DeadPort = 20999;

quint32 loopback(int a)
{
    return 0x7f000000u + quint32(a);
}

const Scenario *scenarioNamed(const QString &name)
{
    const auto found = std::find_if(std::begin(Scenarios), std::end(Scenarios),
                                    [&](const Scenario &known) { return known.name == name; });
    return found == std::end(Scenarios) ? nullptr : found;
}

// The proxies of a scenario, in the order the child prints their ports. Apart from the mix, one per row, so that
// every row has a text of its own.
std::vector<Proxy> layout(Scenario::Kind scenario, int rows)
{
    std::vector<Proxy> proxies;
    if (scenario == Scenario::Mix) {
        for (int a = 1; a <= Addresses; ++a)
            for (LoopbackFarm::Behaviour behaviour : MixProxies)
                proxies.push_back({loopback(a), behaviour});
        return proxies;
    }
    if (scenario == Scenario::Silent || scenario == Scenario::Dead) {
        for (int i = 0; i < rows; ++i)
            proxies.push_back(
                {0x7f010001u + quint32(i),
                 scenario == Scenario::Dead && i % 11 != 10 ? LoopbackFarm::Refused : LoopbackFarm::Unaccepted,
                 DeadPort});
        return proxies;
    }
    for (int i = 0; i < rows; ++i) {
        LoopbackFarm::Behaviour behaviour = LoopbackFarm::CloseAtOnce;
        if (scenario == Scenario::Stream)
            behaviour = LoopbackFarm::Stream;
        else if (scenario == Scenario::Late)
            behaviour = i % 10 == 9 ? LoopbackFarm::EchoAfter500ms : LoopbackFarm::Refused;
        else if (i % 2)
            behaviour = LoopbackFarm::CloseInOneSegment;
        proxies.push_back({loopback(1 + i % Addresses), behaviour});
    }
    return proxies;
}

// The proxy that row i (from 0) points at.
size_t proxyOfRow(Scenario::Kind scenario, int i)
{
    if (scenario != Scenario::Mix)
        return size_t(i);
    const int a = (i / 10) % Addresses;
    return size_t(a) * std::size(MixProxies) + size_t(MixRows[i % 10]);
}

// With the echo step the user's address is 127.0.0.1, where the echo host sees the benchmark come from.
ProxyResult expectedResult(const Proxy &proxy, bool echoCheck)
{
    switch (proxy.behaviour) {
    case LoopbackFarm::EchoOwnAddress:
    case LoopbackFarm::CloseAtOnce:
    case LoopbackFarm::CloseInOneSegment:
    case LoopbackFarm::EchoAfter500ms:
    case LoopbackFarm::EchoOtherAddress: {
        const quint32 shown =
            proxy.behaviour == LoopbackFarm::EchoOtherAddress ? LoopbackFarm::OtherAddress : proxy.address;
        return ProxyResult::working(echoCheck ? shown != loopback(1) : shown == proxy.address);
    }
    case LoopbackFarm::NoMarker:
        return ProxyResult::failed(ProxyStatus::InvalidResponse);
    case LoopbackFarm::Silent:
    case LoopbackFarm::Unaccepted:
    case LoopbackFarm::Stream:
        return ProxyResult::failed(ProxyStatus::Timeout);
    case LoopbackFarm::Reset:
    case LoopbackFarm::Refused:
    case LoopbackFarm::EchoPeerAddress:
        break;
    }
    return ProxyResult::failed(ProxyStatus::Error);
}

// The Anonymity and Status cells of a result, as the table shows them.
QString cells(const ProxyResult &result)
{
    return ResultText::anonymity(result) + u' ' + ResultText::status(result);
}

volatile std::sig_atomic_t stopServing = 0;

// Binds the proxies from first up to end in the farm; their ports in order, 0 for one that could not be set up.
std::vector<int> addProxies(LoopbackFarm &farm, const std::vector<Proxy> &proxies, size_t first, size_t end)
{
    std::vector<int> ports;
    for (size_t p = first; p < end; ++p)
        ports.push_back(farm.add(proxies[p].behaviour, proxies[p].address, proxies[p].port));
    return ports;
}

// A forked helper that serves the proxies from first up to end until it is told to stop, or its parent dies; the
// ports it bound are appended to ports. Its process id, or -1.
pid_t serveInHelper(const std::vector<Proxy> &proxies, size_t first, size_t end, std::vector<int> &ports)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return -1;
    const pid_t helper = ::fork();
    if (helper == 0) {
        ::close(channel[0]);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        {
            LoopbackFarm farm;
            const std::vector<int> bound = addProxies(farm, proxies, first, end);
            const bool told =
                ::write(channel[1], bound.data(), bound.size() * sizeof(int)) == ssize_t(bound.size() * sizeof(int));
            ::close(channel[1]);
            if (told)
                farm.serve(ServeLimitMs, stopServing);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::vector<int> bound(end - first, 0);
    size_t got = 0;
    for (ssize_t n = 1; helper > 0 && n > 0 && got < bound.size() * sizeof(int); got += size_t(std::max<ssize_t>(n, 0)))
        n = ::read(channel[0], reinterpret_cast<char *>(bound.data()) + got, bound.size() * sizeof(int) - got);
    ::close(channel[0]);
    ports.insert(ports.end(), bound.begin(), bound.end());
    return helper;
}

int serve(const Scenario *scenario, int rows, bool echoHost)
{
    if (!scenario)
        return 2;
    // Asked to stop, the proxies say how much they wrote; should the benchmark die, they go with it.
    struct sigaction stop = {};
    stop.sa_handler = [](int) { stopServing = 1; };
    sigaction(SIGTERM, &stop, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    ProcessFigures::raiseFileLimit();
    const std::vector<Proxy> proxies = layout(scenario->kind, rows);
    // A process holds no more sockets than its open-file limit: a larger farm is shared out between forked helpers,
    // made before this process binds any, and this process serves the last share.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    // Two descriptors a proxy at most: an unaccepted one's listener and what fills its backlog.
    const size_t share = std::max<size_t>(1000, (size_t(std::min<rlim_t>(files.rlim_cur, 1 << 20)) - 100) / 2);
    std::vector<int> ports;
    std::vector<pid_t> helpers;
    size_t first = 0;
    for (; first + share < proxies.size(); first += share)
        helpers.push_back(serveInHelper(proxies, first, first + share, ports));
    LoopbackFarm farm;
    const std::vector<int> last = addProxies(farm, proxies, first, proxies.size());
    ports.insert(ports.end(), last.begin(), last.end());
    for (size_t p = 0; p < proxies.size(); ++p)
        std::printf("%s:%d\n", qPrintable(QHostAddress(proxies[p].address).toString()), ports[p]);
    if (echoHost)
        std::printf("127.0.0.1:%d\n", farm.add(LoopbackFarm::EchoPeerAddress, loopback(1)));
    std::printf("ready\n");
    std::fflush(stdout);
    farm.serve(ServeLimitMs, stopServing);
    for (const pid_t helper : helpers) {
        if (helper > 0 && ::kill(helper, SIGTERM) == 0)
            ::waitpid(helper, nullptr, 0);
    }
    std::printf("sent %lld\n", farm.bytesSent());
    return 0;
}

std::vector<int> startFarm(QProcess &farm, const Scenario &scenario)
{
    farm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral("--serve"), scenario.name, QString::number(scenario.rows)};
    if (scenario.echoCheck)
        arguments << QStringLiteral("echo");
    farm.start(QCoreApplication::applicationFilePath(), arguments);
    QElapsedTimer waited;
    waited.start();
    QByteArray output;
    while (!output.contains("ready\n") && waited.elapsed() < 60000 && farm.waitForReadyRead(10000))
        output += farm.readAllStandardOutput();
    std::vector<int> ports;
    for (const QByteArray &line : output.split('\n')) {
        if (line == "ready")
            return ports;
        ports.push_back(line.mid(line.lastIndexOf(':') + 1).toInt());
    }
    return {};
}

// By its process id: SIGTERM, then SIGKILL. Returns how many bytes the proxies wrote, -1 when unknown.
qint64 stopFarm(QProcess &farm)
{
    if (farm.state() == QProcess::NotRunning)
        return -1;
    farm.terminate();
    if (!farm.waitForFinished(5000)) {
        farm.kill();
        farm.waitForFinished(5000);
        return -1;
    }
    const QByteArray output = farm.readAllStandardOutput();
    const qsizetype at = output.lastIndexOf("sent ");
    return at < 0 ? -1 : output.mid(at + 5).trimmed().toLongLong();
}

double megabytes(qint64 kib)
{
    return double(kib) * 1024 / 1e6;
}

struct Figures
{
    std::vector<BatchWatch::Batch> batches;
    qint64 endNs = 0;
    double cpuSeconds = 0;
    qint64 longestGapNs = 0;
    qint64 idleKb = 0;
    qint64 peakKb = 0;
    qint64 afterKb = 0;
    bool peakReset = false;
    int descriptorsBefore = 0;
    int descriptorsPeak = 0;
    int descriptorsAfter = 0;
    qsizetype working = 0;
    qsizetype anonymous = 0;
};

// One test run over all rows, with everything measured around it.
Figures measureRun(CheckRun &checkRun, const ProxyList &table, int slots)
{
    Figures figures;
    BatchWatch watch(table, slots, [&] {
        figures.descriptorsPeak = std::max(figures.descriptorsPeak, ProcessFigures::openDescriptors());
    });
    // Every 10 ms while the event loop runs: the resident memory, and how late the tick is, which is how long a
    // window would wait to repaint.
    qint64 lastTickNs = 0;
    QTimer sampler;
    sampler.setTimerType(Qt::PreciseTimer);
    sampler.setInterval(10);
    QObject::connect(&sampler, &QTimer::timeout, &sampler, [&] {
        figures.peakKb = std::max(figures.peakKb, ProcessFigures::residentKb());
        const qint64 now = watch.elapsedNs();
        figures.longestGapNs = std::max(figures.longestGapNs, now - lastTickNs);
        lastTickNs = now;
    });
    // The end of a run as the window handles it: the status bar's counters are recounted.
    const QMetaObject::Connection recount =
        QObject::connect(&checkRun, &CheckRun::finished, &checkRun, [&figures, &table](const RunOutcome &) {
            figures.working = ProxyFilter::working().count(table);
            figures.anonymous = ProxyFilter::anonymous().count(table);
        });

    figures.descriptorsBefore = ProcessFigures::openDescriptors();
    figures.idleKb = ProcessFigures::residentKb();
    figures.peakReset = ProcessFigures::resetPeak();
    sampler.start();
    const double cpuBefore = ProcessFigures::cpuSeconds();
    watch.start();
    QEventLoop loop;
    QObject::connect(&checkRun, &CheckRun::finished, &loop, &QEventLoop::quit);
    checkRun.start(CheckRows::Mode::All);
    if (checkRun.isRunning())
        loop.exec();
    figures.endNs = watch.elapsedNs();
    QObject::disconnect(recount);
    figures.cpuSeconds = ProcessFigures::cpuSeconds() - cpuBefore;
    sampler.stop();
    if (figures.peakReset)
        figures.peakKb = std::max(figures.peakKb, ProcessFigures::peakResidentKb());
    // What the event loop would do next: release what was handed to deleteLater().
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    figures.descriptorsAfter = ProcessFigures::openDescriptors();
    figures.afterKb = ProcessFigures::residentKb();
    figures.batches = watch.batches();
    return figures;
}

// What the rows that missed their verdict got instead, and how many of them got it.
std::map<QString, int> misjudgedRows(const ProxyList &table, const Scenario &scenario,
                                     const std::vector<Proxy> &proxies)
{
    std::map<QString, int> misjudged;
    for (int row = 0; row < scenario.rows; ++row) {
        const ProxyResult &result = table.result(row);
        const ProxyResult expected = expectedResult(proxies[proxyOfRow(scenario.kind, row)], scenario.echoCheck);
        // The verdict alone: a working row's time is whatever the run measured.
        if (result.status != expected.status || result.anonymity != expected.anonymity)
            ++misjudged[cells(expected) + QStringLiteral(" -> ") + cells(result)];
    }
    return misjudged;
}

// Prints every batch; true when each had its timeout pass within T + 50 ms of its start.
bool reportBatches(const Figures &figures, const Scenario &scenario)
{
    const std::vector<BatchWatch::Batch> &batches = figures.batches;
    const qint64 deadlineNs = qint64(scenario.seconds) * 1'000'000'000 + SlackNs;
    qint64 longestToPass = -1;
    int lateBatches = 0;
    for (size_t b = 0; b < batches.size(); ++b) {
        const qint64 whole = (b + 1 < batches.size() ? batches[b + 1].startNs : figures.endNs) - batches[b].startNs;
        const qint64 toPass = batches[b].timeoutPassNs < 0 ? -1 : batches[b].timeoutPassNs - batches[b].startNs;
        longestToPass = std::max(longestToPass, toPass);
        lateBatches += toPass < 0 || toPass > deadlineNs;
        std::printf("  batch %-3zu    whole %8.1f ms, rows handed out in %5.1f ms", b + 1, double(whole) / 1e6,
                    double(batches[b].lastCheckingNs - batches[b].startNs) / 1e6);
        if (toPass < 0)
            std::printf(", no timeout pass seen\n");
        else
            std::printf(", timeout pass after %8.1f ms, lasting %5.1f ms\n", double(toPass) / 1e6,
                        double(batches[b].lastTimeoutNs - batches[b].timeoutPassNs) / 1e6);
    }
    if (longestToPass >= 0)
        std::printf("longest wait   %8.1f ms  (target: at most %lld ms; %d batches later or without a pass)\n",
                    double(longestToPass) / 1e6, deadlineNs / 1'000'000, lateBatches);
    return lateBatches == 0;
}

void reportFigures(const Figures &figures, qint64 farmSent)
{
    std::printf("CPU time       %8.3f s   (%.0f %% of a core)\n", figures.cpuSeconds,
                100 * figures.cpuSeconds * 1e9 / double(std::max<qint64>(figures.endNs, 1)));
    std::printf("event loop     longest gap between 10 ms ticks %.1f ms\n", double(figures.longestGapNs) / 1e6);
    std::printf("memory         idle %.1f MB, peak %.1f MB (%.1f MB above idle%s), after the run %.1f MB "
                "(%.1f MB above idle)\n",
                megabytes(figures.idleKb), megabytes(figures.peakKb), megabytes(figures.peakKb - figures.idleKb),
                figures.peakReset ? "" : ", peak since start", megabytes(figures.afterKb),
                megabytes(figures.afterKb - figures.idleKb));
    std::printf("proxies sent   %.1f MB\n", double(farmSent) / 1e6);
    std::printf("descriptors    %d before, %d at the peak, %d after\n", figures.descriptorsBefore,
                figures.descriptorsPeak, figures.descriptorsAfter);
}

int bench(const Scenario &scenario)
{
    QProcess farm;
    const std::vector<Proxy> proxies = layout(scenario.kind, scenario.rows);
    std::vector<int> ports = startFarm(farm, scenario);
    const int echoPort = scenario.echoCheck && !ports.empty() ? ports.back() : 9;
    if (scenario.echoCheck && !ports.empty())
        ports.pop_back();
    if (ports.size() != proxies.size() || echoPort == 0 || std::count(ports.begin(), ports.end(), 0) != 0) {
        std::fprintf(stderr, "the fake proxies did not start\n");
        stopFarm(farm);
        return 1;
    }

    ProxyList table;
    CheckRun checkRun(table);
    checkRun.setSettings({scenario.slots, std::chrono::seconds(scenario.seconds)});
    checkRun.setEchoHosts({QStringLiteral("127.0.0.1:%1").arg(echoPort)});
    checkRun.setEchoCheck(scenario.echoCheck);
    QStringList texts;
    for (int i = 0; i < scenario.rows; ++i) {
        const size_t p = proxyOfRow(scenario.kind, i);
        texts.append(QHostAddress(proxies[p].address).toString() + u':' + QString::number(ports[p]));
    }
    table.addRows(texts);

    const Figures figures = measureRun(checkRun, table, scenario.slots);
    const qint64 farmSent = stopFarm(farm);
    const std::map<QString, int> misjudged = misjudgedRows(table, scenario, proxies);
    int wrong = 0;
    for (const auto &[what, count] : misjudged)
        wrong += count;

    std::printf("scenario %s: %d rows, %d slots per batch, timeout %d s\n", qPrintable(scenario.name), scenario.rows,
                scenario.slots, scenario.seconds);
    std::printf("wall time      %8.3f s   (%zu batches)\n", double(figures.endNs) / 1e9, figures.batches.size());
    std::printf("first probe    after %.1f ms  (echo step %s)\n",
                figures.batches.empty() ? -1.0 : double(figures.batches.front().startNs) / 1e6,
                scenario.echoCheck ? "on: the echo host asked first" : "off");
    const bool punctual = reportBatches(figures, scenario);
    reportFigures(figures, farmSent);
    std::printf("verdicts       %d of %d as expected, %d misjudged\n", scenario.rows - wrong, scenario.rows, wrong);
    for (const auto &[what, count] : misjudged)
        std::printf("  %6d  %s\n", count, qPrintable(what));

    bool met = wrong == 0 && figures.descriptorsAfter <= figures.descriptorsBefore;
    if (scenario.kind == Scenario::Stream) {
        met = met && (figures.peakKb - figures.idleKb) * 1024 <= MemoryTargetBytes && punctual;
        std::printf("targets        %s (at most 40 MB above idle, timeout pass within T + 50 ms, all \"Timeout\")\n",
                    met ? "met" : "MISSED");
    } else {
        std::printf("targets        %s (every verdict as expected, no descriptor left open)\n", met ? "met" : "MISSED");
    }
    return met ? 0 : 1;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--serve"))
        return serve(scenarioNamed(args.value(1)), args.value(2).toInt(), args.value(3) == QLatin1String("echo"));
    const bool echoCheck = args.removeAll(QStringLiteral("--echo-check")) > 0;
    Scenario scenario = Scenarios[0];
    if (!args.isEmpty() && !args.front().front().isDigit()) {
        const Scenario *found = scenarioNamed(args.front());
        if (!found) {
            std::fprintf(stderr,
                         "usage: bench_checker [--echo-check] [mix|stream|close|late] [ROWS [SLOTS [SECONDS]]]\n");
            return 2;
        }
        scenario = *found;
        args.removeFirst();
    }
    scenario.rows = args.size() > 0 ? args[0].toInt() : scenario.rows;
    scenario.slots = args.size() > 1 ? args[1].toInt() : scenario.slots;
    scenario.seconds = args.size() > 2 ? args[2].toInt() : scenario.seconds;
    scenario.echoCheck = echoCheck;
    if (scenario.rows < 1 || scenario.slots < 1 || scenario.seconds < 1) {
        std::fprintf(stderr, "rows, slots and seconds must be at least 1\n");
        return 2;
    }
    // The child inherits the raised limit.
    ProcessFigures::raiseFileLimit();
    return bench(scenario);
}

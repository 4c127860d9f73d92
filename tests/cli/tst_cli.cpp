// korvane-cli as scripts run it: the real executable, against fake proxies and real tinyproxy servers on loopback.
#include "checker/CheckRun.h"
#include "proxylist/ProxyTableModel.h"
#include "tests/common/EchoServer.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/Microsocks.h"
#include "tests/common/Tinyproxy.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <deque>
#include <functional>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <memory>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
struct Outcome
{
    int code = -1;
    QByteArray out, err;
};

// Starts a program; the test's own event loop keeps serving the fake proxies while it runs.
std::unique_ptr<QProcess> start(const QString &program, const QStringList &arguments, const QByteArray &input = {},
                                const std::function<void()> &childSetup = {})
{
    auto process = std::make_unique<QProcess>();
    if (childSetup)
        process->setChildProcessModifier(childSetup);
    process->start(program, arguments);
    process->write(input);
    process->closeWriteChannel();
    return process;
}

std::unique_ptr<QProcess> start(const QStringList &arguments, const QByteArray &input = {},
                                const std::function<void()> &childSetup = {})
{
    return start(QStringLiteral(KORVANE_CLI), arguments, input, childSetup);
}

Outcome finish(QProcess &process)
{
    QSignalSpy finished(&process, &QProcess::finished);
    if (process.state() != QProcess::NotRunning && !finished.wait(30000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

// Results with each measured time written N: times differ from run to run.
QByteArray withoutTimes(const QByteArray &results)
{
    static const QRegularExpression time("\t[0-9]+\n");
    return QString::fromLatin1(results).replace(time, "\tN\n").toLatin1();
}

// Everything written to a terminal's other side until the last writer has closed it.
QByteArray readTerminal(int terminal)
{
    QByteArray text;
    char chunk[4096];
    for (ssize_t got = 0; (got = ::read(terminal, chunk, sizeof chunk)) > 0;)
        text.append(chunk, got);
    ::close(terminal);
    return text;
}

// socket() fails as when the process has no descriptor left.
void withoutSockets()
{
    sock_filter code[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                          BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 1),
                          BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EMFILE),
                          BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
    const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        ::_exit(126);
}
} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    FakeProxy m_silent{FakeProxy::Silent};

    QString writeList(const QString &name, const QByteArray &text)
    {
        QFile file(m_folder.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName() : QString();
    }

    // A shell running the command in the test's folder, with $CLI and $WINDOW and the variables given.
    std::unique_ptr<QProcess> shell(const QString &command, const QList<std::pair<QString, QString>> &variables,
                                    const std::function<void()> &childSetup = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("CLI", KORVANE_CLI);
        environment.insert("WINDOW", KORVANE_WINDOW);
        for (const auto &[name, value] : variables)
            environment.insert(name, value);
        auto process = std::make_unique<QProcess>();
        process->setWorkingDirectory(m_folder.path());
        process->setProcessEnvironment(environment);
        if (childSetup)
            process->setChildProcessModifier(childSetup);
        process->start("sh", {"-c", command});
        return process;
    }

private Q_SLOTS:
    void cleanMergesListsInOrder()
    {
        const QString first = writeList("a.txt", "127.0.0.1:80\r\nnot a proxy\n127.0.0.2:80\r127.0.0.1:80\n");
        const QString second = writeList("b.txt", "127.0.0.3:8080\n127.0.0.2:80\n");
        const Outcome outcome = finish(*start({"clean", first, "-", second}, "127.0.0.4:3128\n127.0.0.3:8080\n"));
        QCOMPARE(outcome.code, 0);
        QCOMPARE(outcome.out, "127.0.0.1:80\n127.0.0.2:80\n127.0.0.4:3128\n127.0.0.3:8080\n");
        QCOMPARE(finish(*start({"clean"}, "127.0.0.9:1\n127.0.0.9:1\n")).out, "127.0.0.9:1\n");
    }

    // Command lines as a shell runs them, in the test's folder: $CLI is korvane-cli, $WINDOW korvane, $SILENT a
    // list of the silent proxy and $BIG one of 300 proxies. out is all of standard output, err a part of standard
    // error, probes the requests the silent proxy got.
    void commandLines_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("noSockets");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<int>("probes");
        const QByteArray usage = "\nUsage: korvane-cli [options] clean|check [FILE...]\n";
        const QByteArray silent = m_silent.row().toLatin1() + '\n';
        const QByteArray windowUsage = "\nUsage: korvane [options] [FILE...]\n";
        const QString noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \"$WINDOW\" ";
        const auto add = [](const char *name, const QString &command, int code, const QByteArray &out,
                            const QByteArray &err, int probes = 0, bool noSockets = false) {
            QTest::newRow(name) << command << noSockets << code << out << err << probes;
        };
        add("unknown command", "\"$CLI\" sort", 2, {}, "unknown command \"sort\"" + usage);
        add("no threads", "\"$CLI\" check -n 0", 2, {}, usage);
        add("too many threads", "\"$CLI\" check --threads 1001", 2, {}, usage);
        add("timeout not a number", "\"$CLI\" check -t ten", 2, {}, usage);
        add("timeout too long", "\"$CLI\" check -t 61", 2, {}, usage);
        add("unknown rows", "\"$CLI\" check --only fast", 2, {}, usage);
        for (const char *fast : {"fast:", "fast:-5", "fast:0", "fast:x", "fast:60001"})
            add(fast, QString("\"$CLI\" check --only %1 \"$SILENT\"").arg(fast), 2, {}, usage);
        add("echo host with a blank", "\"$CLI\" check --echo-host 'a b'", 2, {}, usage);
        add("echo host with a line break", "\"$CLI\" check --echo-host 'a\n' \"$SILENT\"", 2, {}, usage);
        add("check option for clean", "\"$CLI\" clean -n 5", 2, {}, usage);
        add("beyond the file limit", "ulimit -n 200; \"$CLI\" check -n 1000 \"$BIG\"", 2, {}, "at most --threads");
        add("one row needs few files", "ulimit -n 64; \"$CLI\" check -n 1000 -t 1 \"$SILENT\"", 0,
            m_silent.row().toLatin1() + "\tTimeout\t-\t-\n", {}, 1);
        add("unreadable list", "\"$CLI\" check \"$SILENT\" missing.txt", 1, {},
            "cannot read missing.txt: The file does not exist.");
        add("output closed", "\"$CLI\" check \"$SILENT\" >&-", 1, {}, "standard output is closed");
        add("results to a full disk", "\"$CLI\" check -t 1 \"$SILENT\" >/dev/full", 1, {},
            "cannot write the results: No space left on device", 1);
        add("list to a full disk", "\"$CLI\" clean \"$SILENT\" >/dev/full", 1, {}, "No space left on device");
        add("list from a pipe", "mkfifo pipe; cat \"$SILENT\" >pipe & \"$CLI\" clean pipe; s=$?; rm pipe; exit $s", 0,
            silent, {});
        add("clean with a protocol", "printf 'http://127.0.0.1:2\\n' | \"$CLI\" clean --protocol SOCKS5 \"$SILENT\" -",
            0, "socks5://" + silent + "http://127.0.0.1:2\n", {});
        add("unknown protocol", "\"$CLI\" check --protocol ftp \"$SILENT\"", 2, {}, usage);
        add("input closed", "\"$CLI\" clean <&-", 1, {}, "standard input is closed");
        add("input closed, not read", "\"$CLI\" clean \"$SILENT\" <&-", 0, silent, {});
        add("name not UTF-8", "n=$(printf 'lat\\351.txt'); cp \"$SILENT\" \"$n\"; \"$CLI\" clean \"$n\"", 0, silent,
            {});
        add("missing name not UTF-8", "\"$CLI\" clean \"$(printf 'gone\\351')\"", 1, {},
            "cannot read gone\\xE9: The file does not exist.");
        add("no sockets", "\"$CLI\" check -t 1 \"$SILENT\"", 1, {}, "(Too many open files)", 0, true);
        add("window, unknown option", noDisplay + "--bogus", 2, {}, "korvane: Unknown option 'bogus'." + windowUsage);
        add("window, bad echo host", noDisplay + "--echo-host 'a b'", 2, {}, windowUsage);
        add("window, help", noDisplay + "--help | head -n 1", 0, "Usage: korvane [options] [FILE...]\n", {});
    }

    void commandLines()
    {
        QFETCH(QString, command);
        QFETCH(bool, noSockets);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(int, probes);
        const qsizetype before = m_silent.requests().size();
        QByteArray big;
        for (int port = 1; port <= 300; ++port)
            big += "127.0.0.1:" + QByteArray::number(port) + '\n';
        const Outcome outcome = finish(*shell(
            command,
            {{"SILENT", writeList("silent.txt", m_silent.row().toLatin1() + '\n')}, {"BIG", writeList("big.txt", big)}},
            noSockets ? withoutSockets : std::function<void()>()));
        QVERIFY2(outcome.err.contains(err), outcome.err);
        QCOMPARE(outcome.out, out);
        QCOMPARE(outcome.code, code);
        QCOMPARE(m_silent.requests().size() - before, probes);
    }

    // Every fake behaviour gets the verdict the window's engine gives it, in every output form. Times differ from
    // run to run: a working row's shows as N, and --only fast:300 tells the proxy that waits 600 ms from the others.
    void sameVerdictsAsTheWindow()
    {
        std::deque<FakeProxy> proxies;
        QStringList rows;
        for (int b = FakeProxy::EchoOwnAddress; b <= FakeProxy::LateMarker; ++b)
            rows.append(proxies.emplace_back(FakeProxy::Behaviour(b)).row());
        rows.append(proxies.emplace_back(FakeProxy::EchoOwnAddress, QHostAddress::LocalHost, 600).row());
        // A tab, a backslash and a quote belong to the row's text: none may break a printed line or field.
        rows.first() += ":\t\\\"";
        ProxyTableModel table;
        table.addRows(rows);
        CheckRun engine(table);
        engine.setSettings({5, 1});
        engine.setProbeHost(QStringLiteral("127.0.0.1:9"));
        engine.run(CheckRows::Mode::All);

        const QString list = writeList("fakes.txt", rows.join(u'\n').toLatin1());
        const QStringList common{"check", "-n", "5", "-t", "1", "--echo-host", "127.0.0.1:9", list};
        // Standard error on a terminal: progress shows there, and standard output still holds the results alone.
        int terminal = -1, progressSide = -1;
        QVERIFY(::openpty(&terminal, &progressSide, nullptr, nullptr, nullptr) == 0);
        auto tabs = start(common, {}, [progressSide] { ::dup2(progressSide, STDERR_FILENO); });
        ::close(progressSide);
        std::unique_ptr<QProcess> only[] = {start(common + QStringList{"-q", "--json"}),
                                            start(common + QStringList{"-q", "--only", "working", "--json"}),
                                            start(common + QStringList{"-q", "--only", "working"}),
                                            start(common + QStringList{"-q", "--only", "anonymous"}),
                                            start(common + QStringList{"-q", "--only", "fast:300"})};

        QByteArray expectedTabs, expectedWorking, expectedAnonymous, expectedFast;
        QJsonArray expectedJson, expectedWorkingJson;
        for (int r = 0; r < table.count(); ++r) {
            const ProxyResult &result = table.result(r);
            const QString status = ProxyTableModel::statusText(result);
            const QString anonymity = ProxyTableModel::anonymityText(result);
            const QString ms = result.ms ? "N" : "-";
            QString text = table.text(r);
            expectedJson.append(QJsonObject{{"proxy", text},
                                            {"status", status},
                                            {"anonymity", anonymity},
                                            {"ms", result.ms ? QJsonValue("N") : QJsonValue()}});
            if (status == "Working")
                expectedWorkingJson.append(expectedJson.last());
            const QByteArray line = text.toLatin1() + '\n';
            expectedWorking += status == "Working" ? line : QByteArray();
            expectedAnonymous += status == "Working" && anonymity == "Y" ? line : QByteArray();
            expectedFast += result.ms.value_or(1000) <= 300 ? line : QByteArray();
            expectedTabs += text.replace('\\', "\\\\").replace('\t', "\\t").toLatin1() + '\t' + status.toLatin1() +
                            '\t' + anonymity.toLatin1() + '\t' + ms.toLatin1() + '\n';
        }
        for (const char *verdict :
             {"\\t\\\\\"\tWorking\tY\tN\n", "\tN\tN\n", "Timeout\t-\t-", "Error", "Invalid Response"})
            QVERIFY(expectedTabs.contains(verdict));
        QVERIFY(expectedFast.count('\n') == expectedWorking.count('\n') - 1);
        QCOMPARE(withoutTimes(finish(*tabs).out), expectedTabs);
        const QByteArray progress = readTerminal(terminal);
        const QByteArray last = QByteArray::number(table.count()) + " of " + QByteArray::number(table.count()) +
                                " tested, " + QByteArray::number(expectedWorking.count('\n')) + " working, 0 under way";
        QVERIFY2(progress.contains(last), progress);
        for (const int form : {0, 1}) {
            QJsonArray printed = QJsonDocument::fromJson(finish(*only[form]).out).array();
            for (QJsonValueRef object : printed) {
                QJsonObject fields = object.toObject();
                fields["ms"] = fields["ms"].isDouble() ? QJsonValue("N") : fields["ms"];
                object = fields;
            }
            QCOMPARE(printed, form == 0 ? expectedJson : expectedWorkingJson);
        }
        QCOMPARE(finish(*only[2]).out, expectedWorking);
        QCOMPARE(finish(*only[3]).out, expectedAnonymous);
        QCOMPARE(finish(*only[4]).out, expectedFast);
    }

    // The first Ctrl+C ends the run after its batch, a second one, SIGTERM or SIGHUP at once; either way the rows
    // that have a verdict are printed, whole, and the progress line on the terminal is cleared.
    // A pool of one proxy at a time, or batches of two, both with the silent proxy under way at the first signal.
    void signalled_data()
    {
        QTest::addColumn<QList<int>>("signals");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("schedule");
        const QStringList pool{"-n", "1"}, batches{"--batches", "-n", "2"};
        QTest::newRow("Ctrl+C") << QList<int>{SIGINT} << 130 << pool;
        QTest::newRow("Ctrl+C, batches") << QList<int>{SIGINT} << 130 << batches;
        QTest::newRow("Ctrl+C twice") << QList<int>{SIGINT, SIGINT} << 130 << pool;
        QTest::newRow("SIGTERM") << QList<int>{SIGTERM} << 143 << pool;
        QTest::newRow("SIGHUP, batches") << QList<int>{SIGHUP} << 129 << batches;
    }

    void signalled()
    {
        QFETCH(QList<int>, signals);
        QFETCH(int, code);
        QFETCH(QStringList, schedule);
        FakeProxy working(FakeProxy::EchoOwnAddress), silent(FakeProxy::Silent), next(FakeProxy::EchoOwnAddress);
        const QString list =
            writeList("three.txt", (QStringList{working.row(), silent.row(), next.row()}.join('\n')).toLatin1());
        int terminal = -1, progressSide = -1;
        QVERIFY(::openpty(&terminal, &progressSide, nullptr, nullptr, nullptr) == 0);
        auto process =
            start(QStringList{"check", "-t", "3", list} + schedule, {}, [progressSide] { ::dup2(progressSide, 2); });
        ::close(progressSide);
        QTRY_VERIFY_WITH_TIMEOUT(!working.requests().isEmpty() && !silent.requests().isEmpty(), 10000);
        // Two signals sent at once would arrive as one; a signal is sent only to the child while it runs.
        for (const int signal : signals) {
            QTest::qWait(300);
            if (process->state() == QProcess::Running && process->processId() > 0)
                ::kill(pid_t(process->processId()), signal);
        }
        const Outcome outcome = finish(*process);
        const QByteArray progress = readTerminal(terminal);
        QCOMPARE(outcome.code, code);
        const bool batchEnds = signals == QList<int>{SIGINT};
        QCOMPARE(withoutTimes(outcome.out),
                 working.row().toLatin1() + "\tWorking\tY\tN\n" +
                     (batchEnds ? QByteArray(silent.row().toLatin1() + "\tTimeout\t-\t-\n") : QByteArray()));
        QVERIFY(next.requests().isEmpty());
        QCOMPARE(progress.contains("Ctrl+C again stops now\r\n"), signals.first() == SIGINT);
        QVERIFY2(progress.endsWith("\r\033[K"), progress);
    }

    // A list split over several runs by GNU parallel, as over several machines, gets the rows and verdicts of one
    // run, in another order.
    void splitByParallel()
    {
        if (QStandardPaths::findExecutable("parallel").isEmpty())
            QSKIP("GNU parallel is not installed (scripts/install-deps.sh installs it)");
        const FakeProxy working(FakeProxy::EchoOwnAddress), refused(FakeProxy::Refused);
        QByteArray list;
        for (int i = 0; i < 2500; ++i)
            list += ((i % 10 == 0 ? m_silent
                      : i % 2     ? working
                                  : refused)
                         .row() +
                     ':' + QString::number(i) + '\n')
                        .toLatin1();
        const QList<std::pair<QString, QString>> variables{
            {"LIST", writeList("split.txt", list)}, {"CHECK", "\"$CLI\" check -q -n 300 -t 1 --echo-host 127.0.0.1:9"}};
        auto split = shell("parallel --will-cite --pipe -N 1000 \"$CHECK\" <\"$LIST\"", variables);
        QByteArray parts = finish(*split).out;
        QByteArray whole = finish(*shell("eval \"$CHECK\" \"$LIST\"", variables)).out;
        QList<QByteArray> partLines = withoutTimes(parts).split('\n'), wholeLines = withoutTimes(whole).split('\n');
        std::sort(partLines.begin(), partLines.end());
        std::sort(wholeLines.begin(), wholeLines.end());
        QCOMPARE(partLines.size(), 2501);
        QCOMPARE(partLines, wholeLines);
        QVERIFY(whole.count("\tWorking\t") == 1250 && whole.count("\tTimeout\t") == 250);
    }

    // Bare rows of SOCKS 5 proxies with --protocol socks5, beside rows whose scheme says HTTP.
    void realProxies()
    {
        if (QStandardPaths::findExecutable("tinyproxy").isEmpty() ||
            QStandardPaths::findExecutable("microsocks").isEmpty())
            QSKIP("tinyproxy or microsocks is not installed (scripts/install-deps.sh installs them)");
        EchoServer echo;
        Tinyproxy direct(m_folder.path(), QHostAddress("127.0.0.1"), "127.0.0.1");
        Tinyproxy rebound(m_folder.path(), QHostAddress("127.0.0.2"), "127.0.0.3");
        Microsocks socks(QHostAddress("127.0.0.4"), "127.0.0.5");
        QTRY_VERIFY2_WITH_TIMEOUT(direct.ready() && rebound.ready() && socks.ready(),
                                  QByteArray(direct.log() + rebound.log()).constData(), 10000);
        const QString rows = "http://" + direct.row() + "\nHTTP://" + rebound.row() + '\n' + socks.hostPort();
        const Outcome outcome = finish(*start({"check", "-t", "3", "--echo-host", echo.host(), "--protocol", "socks5",
                                               writeList("real.txt", rows.toLatin1())}));
        const QStringList lines = rows.split('\n');
        QCOMPARE(withoutTimes(outcome.out),
                 (lines[0] + "\tWorking\tY\tN\n" + lines[1] + "\tWorking\tN\tN\n" + lines[2] + "\tWorking\tN\tN\n")
                     .toLatin1());
        QCOMPARE(outcome.code, 0);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

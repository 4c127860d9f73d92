// korvane-cli as scripts run it: the real executable, against fake proxies and real tinyproxy servers on loopback.
#include "checker/CheckRun.h"
#include "checker/CheckRunHost.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"
#include "tests/common/EchoServer.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/TestMain.h"
#include "tests/common/Tinyproxy.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <deque>
#include <functional>
#include <memory>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
struct Outcome
{
    int code = -1;
    QByteArray out, err;
};

// Starts the program; the test's own event loop keeps serving the fake proxies while it runs.
std::unique_ptr<QProcess> start(const QStringList &arguments, const QByteArray &input = {},
                                const std::function<void()> &childSetup = {})
{
    auto process = std::make_unique<QProcess>();
    if (childSetup)
        process->setChildProcessModifier(childSetup);
    process->start(QStringLiteral(KORVANE_CLI), arguments);
    process->write(input);
    process->closeWriteChannel();
    return process;
}

Outcome finish(QProcess &process)
{
    QSignalSpy finished(&process, &QProcess::finished);
    if (process.state() != QProcess::NotRunning && !finished.wait(30000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

class QuietHost final : public CheckRunHost
{
    void setCommandsLocked(bool) override {}
    void showCompletionMessage() override {}
};
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

    // Refused before anything is tested: bad usage (2, then the usage line), a list that cannot be read (1, named),
    // more threads than the open-file limit can hold (2). Each runs under a limit of 200 open files.
    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QString usage = "\nUsage: ";
        QTest::newRow("unknown command") << QStringList{"sort"} << 2 << usage;
        QTest::newRow("no threads") << QStringList{"check", "-n", "0"} << 2 << usage;
        QTest::newRow("too many threads") << QStringList{"check", "--threads", "1001"} << 2 << usage;
        QTest::newRow("timeout not a number") << QStringList{"check", "-t", "ten"} << 2 << usage;
        QTest::newRow("timeout too long") << QStringList{"check", "-t", "61"} << 2 << usage;
        QTest::newRow("unknown rows") << QStringList{"check", "--only", "fast"} << 2 << usage;
        QTest::newRow("echo host with a blank") << QStringList{"check", "--echo-host", "a b"} << 2 << usage;
        QTest::newRow("check option for clean") << QStringList{"clean", "-n", "5"} << 2 << usage;
        QTest::newRow("beyond the file limit") << QStringList{"check", "-n", "1000"} << 2 << "--threads 1000";
        const QString list = writeList("silent.txt", m_silent.row().toLatin1() + '\n');
        const QString missing = m_folder.filePath("missing.txt");
        QTest::newRow("unreadable list") << QStringList{"check", "-n", "10", list, missing} << 1 << missing;
    }

    void refused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, message);
        const rlimit limit = {200, 200};
        const Outcome outcome = finish(*start(arguments, {}, [&limit] { ::setrlimit(RLIMIT_NOFILE, &limit); }));
        QCOMPARE(outcome.code, code);
        QVERIFY2(outcome.err.contains(message.toLocal8Bit()), outcome.err);
        QVERIFY(outcome.out.isEmpty());
        QVERIFY(m_silent.requests().isEmpty());
    }

    // Every fake behaviour gets the verdict the window's engine gives it, in every output form.
    void sameVerdictsAsTheWindow()
    {
        std::deque<FakeProxy> proxies;
        QStringList rows;
        for (int b = FakeProxy::EchoOwnAddress; b <= FakeProxy::LateMarker; ++b)
            rows.append(proxies.emplace_back(FakeProxy::Behaviour(b)).row());
        // A tab belongs to the row's text and must not split the printed line.
        rows.first() += u'\t';
        ProxyTableModel table;
        table.addRows(rows);
        StatusPanels panels;
        QuietHost host;
        CheckRun engine(table, panels, host);
        engine.setSettings({5, 1});
        engine.setProbeHost(QStringLiteral("127.0.0.1:9"));
        engine.run(CheckRows::AllRows);

        const QString list = writeList("fakes.txt", rows.join(u'\n').toLatin1());
        const QStringList common{"check", "-n", "5", "-t", "1", "--echo-host", "127.0.0.1:9", list};
        // Standard error on a terminal: progress shows there, and standard output still holds the results alone.
        int terminal = -1, progressSide = -1;
        QVERIFY(::openpty(&terminal, &progressSide, nullptr, nullptr, nullptr) == 0);
        auto tabs = start(common, {}, [progressSide] { ::dup2(progressSide, STDERR_FILENO); });
        ::close(progressSide);
        auto json = start(common + QStringList{"-q", "--json"});
        auto working = start(common + QStringList{"-q", "--only", "working"});
        auto anonymous = start(common + QStringList{"-q", "--only", "anonymous"});

        QByteArray expectedTabs, expectedWorking, expectedAnonymous;
        QJsonArray expectedJson;
        for (int r = 1; r <= table.count(); ++r) {
            const QString status = table.subItem(r, ProxyTableModel::Status);
            const QString anonymity = table.subItem(r, ProxyTableModel::Anonymity);
            QString text = table.itemText(r);
            expectedJson.append(QJsonObject{{"proxy", text}, {"status", status}, {"anonymity", anonymity}});
            const QByteArray line = text.toLatin1() + '\n';
            expectedWorking += status == "Working" ? line : QByteArray();
            expectedAnonymous += status == "Working" && anonymity == "Y" ? line : QByteArray();
            expectedTabs +=
                text.replace(u'\t', "\\t").toLatin1() + '\t' + status.toLatin1() + '\t' + anonymity.toLatin1() + '\n';
        }
        for (const char *verdict : {"\\t\tWorking\tY\n", "\tN\n", "Timeout", "Error", "Invalid Response"})
            QVERIFY(expectedTabs.contains(verdict));
        QCOMPARE(finish(*tabs).out, expectedTabs);
        char progress[4096] = {};
        QVERIFY(::read(terminal, progress, sizeof progress - 1) > 0);
        ::close(terminal);
        const QByteArray last =
            "batch 3 of 3, 11 of 11 tested, " + QByteArray::number(expectedWorking.count('\n')) + " working";
        QVERIFY2(QByteArray(progress).contains(last), progress);
        QCOMPARE(QJsonDocument::fromJson(finish(*json).out).array(), expectedJson);
        QCOMPARE(finish(*working).out, expectedWorking);
        QCOMPARE(finish(*anonymous).out, expectedAnonymous);
    }

    // Ctrl+C once: the batch under way ends and is printed; twice: the program ends at once.
    void interrupted_data()
    {
        QTest::addColumn<int>("signals");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("once") << 1 << QByteArray("\tTimeout\t-\n");
        QTest::newRow("twice") << 2 << QByteArray();
    }

    void interrupted()
    {
        QFETCH(int, signals);
        QFETCH(QByteArray, expected);
        FakeProxy first(FakeProxy::Silent), second(FakeProxy::EchoOwnAddress);
        const QString list = writeList("two.txt", (first.row() + u'\n' + second.row() + u'\n').toLatin1());
        auto process = start({"check", "-n", "1", "-t", "2", list});
        QTRY_VERIFY_WITH_TIMEOUT(!first.requests().isEmpty(), 10000);
        // Two signals sent at once would arrive as one.
        for (int i = 0; i < signals; ++i, QTest::qWait(200))
            ::kill(pid_t(process->processId()), SIGINT);
        const Outcome outcome = finish(*process);
        QCOMPARE(outcome.code, 130);
        QCOMPARE(outcome.out, expected.isEmpty() ? expected : first.row().toLatin1() + expected);
        QVERIFY(second.requests().isEmpty());
    }

    void realProxies()
    {
        if (QStandardPaths::findExecutable("tinyproxy").isEmpty())
            QSKIP("tinyproxy is not installed (apt-get install tinyproxy)");
        EchoServer echo;
        Tinyproxy direct(m_folder.path(), QHostAddress("127.0.0.1"), "127.0.0.1");
        Tinyproxy rebound(m_folder.path(), QHostAddress("127.0.0.2"), "127.0.0.3");
        QTRY_VERIFY2_WITH_TIMEOUT(direct.ready() && rebound.ready(),
                                  QByteArray(direct.log() + rebound.log()).constData(), 10000);
        const QString list = writeList("real.txt", (direct.row() + u'\n' + rebound.row()).toLatin1());
        const Outcome outcome = finish(*start({"check", "-t", "3", "--echo-host", echo.host(), list}));
        QCOMPARE(outcome.out, (direct.row() + "\tWorking\tY\n" + rebound.row() + "\tWorking\tN\n").toLatin1());
        QCOMPARE(outcome.code, 0);
    }
};

KORVANE_TEST(TestCli)
#include "tst_cli.moc"

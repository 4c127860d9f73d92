// The history of checks in real SQLite files: the store and its recorder in this process, korvane-cli beside them.
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "tests/common/EchoServer.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/TestFiles.h"
#include "tests/common/TestGeoDatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>

namespace {
CheckRecord record(const QByteArray &text, qint64 at, ProxyStatus status = ProxyStatus::Working)
{
    return {text, at, status == ProxyStatus::Working ? ProxyResult::graded(Grade::Elite) : ProxyResult::failed(status)};
}

// What one query gives in the file's own connection, fields joined with "|", rows with ";".
QString sql(const QString &path, const QString &statement)
{
    QStringList rows;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "peek");
        database.setDatabaseName(path);
        QSqlQuery query(database);
        if (!database.open() || !query.exec(statement))
            rows.append("error: " + query.lastError().text());
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields.append(query.isNull(i) ? "null" : query.value(i).toString());
            rows.append(fields.join('|'));
        }
    }
    QSqlDatabase::removeDatabase("peek");
    return rows.join(';');
}

// A history of one check of each text.
QString seed(const QString &path, const QList<QByteArray> &texts)
{
    HistoryStore store(path);
    std::vector<CheckRecord> records;
    for (const QByteArray &text : texts)
        records.push_back(record(text, 1000));
    const QString opened = store.open();
    return opened.isEmpty() ? store.write(records) : opened;
}
} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    FakeProxy m_working{FakeProxy::EchoOwnAddress};
    FakeProxy m_silent{FakeProxy::Silent};
    FakeProxy m_dead{FakeProxy::Refused};
    EchoServer m_echo;

    QString path(const QString &name) const { return m_folder.filePath(name); }

    std::unique_ptr<QProcess> cli(const QStringList &arguments)
    {
        auto process = std::make_unique<QProcess>();
        process->start(KORVANE_CLI, arguments);
        process->closeWriteChannel();
        return process;
    }

    // korvane-cli run to its end, the test's own proxies served meanwhile: exit status, output, errors.
    std::tuple<int, QByteArray, QByteArray> run(const QStringList &arguments)
    {
        const std::unique_ptr<QProcess> process = cli(arguments);
        QSignalSpy finished(process.get(), &QProcess::finished);
        if (!finished.wait(30000))
            process->kill();
        process->waitForFinished();
        return {process->exitCode(), process->readAllStandardOutput(), process->readAllStandardError()};
    }

    // Rows that each take the timeout through the silent proxy, ten at a time: a verdict batch a second.
    QString silentRows(int count)
    {
        QByteArray rows;
        for (int r = 0; r < count; ++r)
            rows += m_silent.row().toLatin1() + ":u" + QByteArray::number(r) + ":p\n";
        return writeFile(path(QString("silent%1.txt").arg(count)), rows);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
        QVERIFY(!writeFile(path("list.txt"), (m_working.row() + '\n' + m_dead.row() + '\n').toLatin1()).isEmpty());
    }

    // The uptime counts the last checks asked for, at most 64, whatever the history's length.
    void uptime_data()
    {
        QTest::addColumn<QByteArray>("outcomes");
        QTest::addColumn<int>("lastChecks");
        QTest::addColumn<int>("counted");
        QTest::addColumn<int>("working");
        QTest::newRow("fewer checks than asked") << QByteArray("WEW") << 10 << 3 << 2;
        QTest::newRow("the newest ten") << QByteArray("WWWWWEEEEEEEEEW") << 10 << 10 << 1;
        QTest::newRow("at most 64") << QByteArray(70, 'W').append(10, 'T') << 100 << 64 << 54;
    }
    void uptime()
    {
        QFETCH(QByteArray, outcomes);
        QFETCH(int, lastChecks);
        QFETCH(int, counted);
        QFETCH(int, working);
        const QString file = path(QString("uptime-%1.sqlite").arg(QTest::currentDataTag()));
        HistoryStore store(file);
        QCOMPARE(store.open(), QString());
        for (qsizetype c = 0; c < outcomes.size(); ++c) {
            const ProxyStatus status = outcomes[c] == 'W' ? ProxyStatus::Working : ProxyStatus::Timeout;
            QCOMPARE(store.write({record("a:1", 1000 * (c + 1), status), record("b:2", 1000 * (c + 1))}), QString());
        }
        // Looked up one by one, and in one pass for many.
        std::vector<QByteArray> texts{"a:1", "none"};
        for (int i = 0; i < 20; ++i)
            texts.push_back("none");
        for (const size_t asked : {size_t(2), texts.size()}) {
            const auto found = store.histories({texts.begin(), texts.begin() + qsizetype(asked)}, lastChecks);
            QVERIFY(found && found.value().size() == asked && found.value()[0] && !found.value()[1]);
            const RowHistory a = *found.value()[0];
            QCOMPARE(a.counted, counted);
            QCOMPARE(a.working, working);
            QCOMPARE(a.checks, outcomes.size());
            QCOMPARE(a.firstSeen, 1000);
            QCOMPARE(a.lastWorking, std::optional<qint64>(1000 * (outcomes.lastIndexOf('W') + 1)));
            QCOMPARE(a.lastStatus, outcomes.endsWith('W') ? ProxyStatus::Working : ProxyStatus::Timeout);
        }
    }

    // Every field of a verdict is kept; forgetting drops the older checks, the proxies left with none, and what
    // the summaries said of them.
    void keepsAndForgets()
    {
        const QString file = path("forget.sqlite");
        HistoryStore store(file);
        QCOMPARE(store.open(), QString());
        CheckRecord full = record("socks5://a:1", 1000);
        full.result.ms = 120;
        full.result.found = FoundProtocol::Socks5;
        full.exitAddress = "127.0.0.9";
        full.echoHost = "127.0.0.1:80";
        full.site = "Site OK";
        full.country = "DE";
        QCOMPARE(store.write({full, record("b:2", 1000)}), QString());
        QCOMPARE(store.write({record("socks5://a:1", 2000, ProxyStatus::Error)}), QString());
        QCOMPARE(sql(file, "SELECT at, status, anonymity, grade, ms, exit, protocol, echo_host, site, country "
                           "FROM checks ORDER BY at LIMIT 1"),
                 "1000|Working|Y|elite|120|127.0.0.9|socks5|127.0.0.1:80|Site OK|DE");
        const Result<qint64> forgotten = store.forgetBefore(1500);
        QVERIFY(forgotten);
        QCOMPARE(forgotten.value(), 2);
        const auto every = store.everyHistory();
        QVERIFY(every && every.value().size() == 1 && every.value()[0].first == "socks5://a:1");
        const RowHistory left = every.value()[0].second;
        QVERIFY(left.checks == 1 && left.firstSeen == 2000 && !left.lastWorking && left.working == 0);
    }

    // A file that is not this program's history to write is named, left byte for byte, and the check goes on.
    void leftAlone_data()
    {
        QTest::addColumn<QString>("statements");
        QTest::addColumn<QString>("said");
        QTest::newRow("corrupt") << ""
                                 << "not a Korvane history, or damaged";
        QTest::newRow("newer") << "PRAGMA user_version = 2;CREATE TABLE t (x)"
                               << "written by a newer Korvane";
        QTest::newRow("another program's") << "CREATE TABLE t (x)"
                                           << "not a Korvane history";
        QTest::newRow("read-only folder") << ""
                                          << "cannot open it";
    }
    void leftAlone()
    {
        QFETCH(QString, statements);
        QFETCH(QString, said);
        const QString folder = path(QTest::currentDataTag());
        const QString file = folder + "/history.sqlite";
        QVERIFY(QDir().mkpath(folder));
        if (!statements.isEmpty()) {
            for (const QString &statement : statements.split(';'))
                QVERIFY(!sql(file, statement).startsWith("error"));
        } else if (QTest::currentDataTag() == QStringLiteral("corrupt")) {
            QVERIFY(!writeFile(file, QByteArray(8192, 'x')).isEmpty());
        } else if (::mount("tmpfs", folder.toLocal8Bit(), "tmpfs", MS_RDONLY, "size=64k") != 0) {
            QSKIP("no tmpfs may be mounted here (needs root)");
        }
        const QByteArray before = readFile(file);
        HistoryRecorder recorder(file);
        QSignalSpy failed(&recorder, &HistoryRecorder::failed);
        const QString why = recorder.start();
        QVERIFY2(why.contains(file) && why.contains(said), qPrintable(why));
        const auto [code, out, err] =
            run({"check", "-q", "--db", file, "--echo-host", m_echo.host(), path("list.txt")});
        ::umount(folder.toLocal8Bit());
        QCOMPARE(code, 0);
        QCOMPARE(out.count("\n"), 2);
        QCOMPARE(err.count(file.toLocal8Bit()), 1);
        QCOMPARE(readFile(file), before);
        QTRY_COMPARE(failed.count(), 1);
    }

    // A full disk stops the history with one message; what was committed before stays.
    void fullDisk()
    {
        const QString folder = path("full");
        QVERIFY(QDir().mkpath(folder));
        if (::mount("tmpfs", folder.toLocal8Bit(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("no tmpfs may be mounted here (needs root)");
        const auto unmount = qScopeGuard([&] { ::umount(folder.toLocal8Bit()); });
        const QString file = folder + "/history.sqlite";
        {
            HistoryRecorder recorder(file);
            QSignalSpy failed(&recorder, &HistoryRecorder::failed);
            QCOMPARE(recorder.start(), QString());
            recorder.record(record("kept:1", 1000));
            recorder.flush();
            for (int r = 0; r < 2000 && recorder.problem().isEmpty(); ++r) {
                recorder.record(record(QByteArray(1000, 'x') + QByteArray::number(r), 2000));
                recorder.flush();
            }
            QVERIFY(recorder.problem().contains(file));
            QTRY_COMPARE(failed.count(), 1);
            QVERIFY2(failed.at(0).at(0).toString().contains("full"), qPrintable(recorder.problem()));
        }
        QCOMPARE(sql(file, "SELECT checks FROM proxies WHERE text = CAST('kept:1' AS BLOB)"), "1");
    }

    // The window's recorder and korvane-cli write one file at once: each waits for the other's transaction.
    void twoWriters()
    {
        const QString file = path("shared.sqlite");
        QCOMPARE(seed(file, {"a:1"}), QString());
        const std::unique_ptr<QProcess> check =
            cli({"check", "-q", "--batches", "-n", "10", "-t", "1", "--no-echo-check", "--echo-host", m_echo.host(),
                 "--db", file, silentRows(30)});
        HistoryRecorder recorder(file);
        QCOMPARE(recorder.start(), QString());
        // A transaction after another for as long as the check runs: its own commits must wait their turn.
        int written = 0;
        for (; check->state() != QProcess::NotRunning && written < 1000000; ++written) {
            recorder.record(record("w:" + QByteArray::number(written), 2000));
            if (written % 5000 == 0)
                recorder.flush();
            QCoreApplication::processEvents();
        }
        recorder.flush();
        QVERIFY(check->state() == QProcess::NotRunning || check->waitForFinished(20000));
        QCOMPARE(check->exitCode(), 0);
        QCOMPARE(recorder.problem(), QString());
        const QByteArray errors = check->readAllStandardError();
        QVERIFY2(!errors.contains(file.toLocal8Bit()), errors.constData());
        QCOMPARE(sql(file, "SELECT count(*) FROM checks").toInt(), written + 31);
    }

    // Killed mid-run, korvane-cli leaves a file that opens, with every verdict of a committed second.
    void killed()
    {
        const QString file = path("killed.sqlite");
        const std::unique_ptr<QProcess> check =
            cli({"check", "-q", "--batches", "-n", "10", "-t", "1", "--no-echo-check", "--echo-host", m_echo.host(),
                 "--db", file, silentRows(60)});
        // Batches end 1 and 2 s after the start, each committed within the second after.
        QTest::qWait(3500);
        ::kill(pid_t(check->processId()), SIGKILL);
        QVERIFY(check->waitForFinished(5000));
        QCOMPARE(sql(file, "PRAGMA integrity_check"), "ok");
        const int kept = sql(file, "SELECT count(*) FROM checks").toInt();
        QVERIFY2(kept >= 20 && kept < 60, qPrintable(QString::number(kept)));
        QCOMPARE(seed(file, {"after:1"}), QString());
    }

    // check keeps the history by default, reads it back for --only up:N, "uptime" and --recheck failed; history
    // prints it; watch checks again each round until told to stop.
    void commandLine()
    {
        const QStringList check{"check", "-q", "--echo-host", m_echo.host(), path("list.txt")};
        // Each check keeps the country of its row: 127.0.0.1 is in DE in the test's location database.
        const QString geo = TestGeoDatabase::write(path("geo.db"));
        QCOMPARE(std::get<0>(run(check + QStringList{"--geo-db", geo})), 0);
        const QString file = path("data/korvane/history.sqlite");
        QCOMPARE(sql(file, "SELECT DISTINCT country FROM checks"), "DE");
        const auto [code, out, err] = run(check + QStringList{"--only", "up:50", "--json"});
        QVERIFY2(code == 0 && out.count("\"uptime\": 100}") == 1 && !out.contains(m_dead.row().toLatin1()), err);
        // A row tried again is one check in the history, with its last verdict.
        const QByteArray failed =
            std::get<1>(run(check + QStringList{"--recheck", "failed", "--retries", "1", "--json"}));
        QVERIFY2(failed.count("\"uptime\": 0}") == 1 && !failed.contains(m_working.row().toLatin1()), failed);
        const QByteArray history = std::get<1>(run({"history", path("list.txt")}));
        const QRegularExpression lines(QRegularExpression::escape(m_working.row()) +
                                       "\t100\t2\t20[0-9-]+T[0-9:]+Z\t20[0-9-]+T[0-9:]+Z\n" +
                                       QRegularExpression::escape(m_dead.row()) + "\t0\t3\t20[0-9-]+T[0-9:]+Z\t-\n");
        QVERIFY2(lines.match(history).hasMatch(), history);

        const std::unique_ptr<QProcess> watch =
            cli({"watch", "--every", "1s", "-q", "--echo-host", m_echo.host(), path("list.txt")});
        QTRY_VERIFY_WITH_TIMEOUT(watch->peek(4096).count('\n') >= 3, 10000);
        watch->terminate();
        QVERIFY(watch->waitForFinished(5000));
        QCOMPARE(watch->exitCode(), 143);
        const QRegularExpression round("^20[0-9-]+T[0-9:]+Z working 1/2, anonymous 0, median [0-9]+ ms, uptime "
                                       "median 50%$");
        for (const QByteArray &line : watch->readAllStandardOutput().trimmed().split('\n'))
            QVERIFY2(round.match(QString::fromLatin1(line)).hasMatch(), line.constData());
        QVERIFY(std::get<1>(run({"history"})).contains(QByteArray(m_working.row().toLatin1() + "\t100\t5\t")));
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"

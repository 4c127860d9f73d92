// The checker against fake proxies on loopback: the verdicts, the batches, and which rows a run probes.
#include "checker/CheckRun.h"
#include "checker/CheckRunHost.h"
#include "proxylist/CellText.h"
#include "proxylist/StatusPanels.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/TableText.h"
#include "tests/common/TestMain.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <deque>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

using CellText::Timeout;

// A check run without a window, on a clock factor times faster than real time. For each row handed out it notes
// how many batch waits came before it.
class Harness final : public CheckRunHost, public Clock
{
public:
    explicit Harness(int factor = 20) : run(table, panels, *this, this), m_factor(factor)
    {
        m_origin.start();
        run.setProbeHost("127.0.0.1:9"); // never reached: the fake proxies answer by themselves
        QObject::connect(&table, &ProxyTableModel::dataChanged, &table, [this](const QModelIndex &from) {
            if (table.subItem(from.row() + 1, ProxyTableModel::Status) == CellText::Checking)
                batches.append(waits);
        });
    }

    void setCommandsLocked(bool lock) override { calls.append(lock ? "lock " : "unlock "); }
    void showCompletionMessage(const QString &shortage) override { calls.append("message " + shortage); }
    qint64 nowMs() const override { return m_origin.elapsed() * m_factor; }
    // Asked while a batch waits: a new deadline is a new batch.
    qint64 msUntil(qint64 deadline) const override
    {
        waits += deadline != std::exchange(m_deadline, deadline);
        return (deadline - nowMs() + m_factor - 1) / m_factor;
    }

    // A run, the table filled up to rows with silent proxies. Each ends with the window unlocked and no slot kept.
    void start(int rows, int slots, int mode = CheckRows::AllRows)
    {
        table.addRows(QStringList(rows - table.count(), m_silent.row()));
        run.setSettings({slots, 1});
        calls.clear();
        run.run(mode);
        QCOMPARE(calls, "lock unlock message " + shortage);
        QCOMPARE(run.scheduler().slots().loadedCount(), 0);
        QVERIFY(run.scheduler().slots().findChildren<SocketSlot *>().isEmpty());
    }
    QStringList statuses() const { return columnTexts(table, ProxyTableModel::StatusColumn); }

    ProxyTableModel table;
    StatusPanels panels;
    CheckRun run;
    QString calls, shortage;
    QList<int> batches;
    mutable int waits = 0;

private:
    FakeProxy m_silent{FakeProxy::Silent};
    QElapsedTimer m_origin;
    qint64 m_factor;
    mutable qint64 m_deadline = -1;
};

class TestChecker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The answer's text against the row's: only blanks are trimmed, text is compared as text, whatever the status.
    void judge_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("proxy");
        QTest::addColumn<QString>("verdict");
        const QString page = "HTTP/1.0 500 Oops\r\n\r\n<body>Current IP Address: 10.0.0.1</body></html>";
        QTest::newRow("own address") << page << "10.0.0.1:80"
                                     << "Y Working";
        QTest::newRow("blanks around the host") << page << "  10.0.0.1 :80:x"
                                                << "Y Working";
        QTest::newRow("tab before the host") << page << "\t10.0.0.1:80"
                                             << "N Working";
        QTest::newRow("other address") << page << "10.0.0.2:80"
                                       << "N Working";
        QTest::newRow("same value, other text") << page << "010.0.0.1:80"
                                                << "N Working";
        const QString start = "Current IP Address: ";
        QTest::newRow("blanks around the echo") << start + "  10.0.0.1 </body></html>"
                                                << "10.0.0.1:80"
                                                << "Y Working";
        QTest::newRow("CR LF before the end") << start + "10.0.0.1\r\n</body></html>"
                                              << "10.0.0.1:80"
                                              << "N Working";
        QTest::newRow("end marker at once") << start + "</body></html>"
                                            << "10.0.0.1:80"
                                            << "N Working";
        QTest::newRow("marker at the end") << "x" + start << "10.0.0.1:80"
                                           << "N Working";
        QTest::newRow("second marker") << start + "10.0.0.1" + start + "10.0.0.2"
                                       << "10.0.0.1:80"
                                       << "Y Working";
        QTest::newRow("marker in lower case") << start.toLower() + "10.0.0.1"
                                              << "10.0.0.1:80"
                                              << "- Invalid Response";
        QTest::newRow("empty answer") << ""
                                      << "10.0.0.1:80"
                                      << "- Invalid Response";
    }

    void judge()
    {
        QFETCH(QString, answer);
        QFETCH(QString, proxy);
        QFETCH(QString, verdict);
        const Verdict judged = ProbeExchange::judge(answer, proxy);
        QCOMPARE(judged.anonymity + ' ' + judged.status, verdict);
    }

    // One run, one fake proxy for each way of answering, then many that answer and close at once.
    void verdictsThroughFakeProxies()
    {
        using F = FakeProxy;
        // The last one's request write fails.
        const QList<F::Behaviour> behaviours{F::EchoOwnAddress, F::EchoOtherAddress, F::EchoSplit, F::OversizedPage,
                                             F::NoMarker,       F::LateMarker,       F::Refused,   F::Reset,
                                             F::ResetAfterPage, F::ResetMidPage,     F::Silent,    F::EndlessStream,
                                             F::Silent};
        const QStringList verdicts{"Y Working",          "N Working", "Y Working", "Y Working", "- Invalid Response",
                                   "- Invalid Response", "- Error",   "- Error",   "Y Working", "- Error",
                                   "- Timeout",          "- Timeout", "- Error"};
        const int n = int(behaviours.size());
        constexpr int Closing = 300;
        Harness h(1);
        std::deque<FakeProxy> proxies;
        // The first row has a second colon: its port ends there.
        for (F::Behaviour behaviour : behaviours)
            h.table.add(proxies.emplace_back(behaviour).row() + (behaviour == behaviours.first() ? ":8:x" : ""));
        // A page then a reset, however it comes: the kernel's reset of a request not read to its end, or a proxy
        // that answers before the request is in.
        const FakeProxy closing(F::EchoOwnAddress), oneRequest(F::ReadsOneRequest), unread(F::AnswersUnread);
        h.table.addRows(QStringList(Closing, closing.row()) + QStringList(50, oneRequest.row()) +
                        QStringList(50, unread.row()));
        const SocketSlotArray &slots = h.run.scheduler().slots();
        connect(&h.table, &ProxyTableModel::dataChanged, this, [&](const QModelIndex &from) {
            // Handed out right after the last case's slot has started: that slot's sending side is shut under it.
            if (from.row() == n && h.table.subItem(n + 1, ProxyTableModel::Status) == CellText::Checking) {
                pollfd connecting{slots.item(n)->descriptor(), POLLOUT, 0};
                QCOMPARE(::poll(&connecting, 1, 5000), 1);
                QCOMPARE(::shutdown(connecting.fd, SHUT_WR), 0);
            }
        });
        qint64 received = 0;
        connect(&slots, &SocketSlotArray::dataArrived, this, [&](int slot) {
            QVERIFY(slots.item(slot)->answer().capacity() <= ProbeExchange::MaxAnswerBytes);
            received = std::max(received, slots.item(slot)->received());
        });
        h.start(n + Closing + 100, n + Closing + 100);

        QStringList seen;
        for (int r = 1; r <= n; ++r)
            seen.append(h.table.subItem(r, ProxyTableModel::Anonymity) + ' ' + h.statuses()[r - 1]);
        QCOMPARE(seen, verdicts);
        QCOMPARE(proxies.front().requests(), QList<QByteArray>{"GET http://127.0.0.1:9/ HTTP/1.0\r\n\r\n\r\n"});
        QVERIFY(proxies.back().requests().isEmpty());
        QCOMPARE(h.statuses().sliced(n), QStringList(Closing + 100, CellText::Working));
        // The endless stream went far past what an answer keeps, and no answer's buffer did.
        QVERIFY(received > 4 * ProbeExchange::MaxAnswerBytes);
    }

    void batching_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("slots");
        QTest::addColumn<QList<int>>("batches");
        QTest::newRow("fewer rows than slots") << 3 << 20 << QList<int>{0, 0, 0};
        QTest::newRow("exactly one batch") << 20 << 20 << QList<int>(20, 0);
        QTest::newRow("one row over") << 21 << 20 << QList<int>(20, 0) + QList<int>{1};
        QTest::newRow("one slot") << 3 << 1 << QList<int>{0, 1, 2};
    }

    void batching()
    {
        QFETCH(int, rows);
        QFETCH(int, slots);
        QFETCH(QList<int>, batches);
        Harness h;
        h.start(rows, slots);
        QCOMPARE(h.batches, batches);
        // No empty batch after a full one, and each waited for its deadline before "Timeout".
        QCOMPARE(h.waits, batches.last() + 1);
        QVERIFY(h.nowMs() >= h.waits * 1000);
        QCOMPARE(h.statuses(), QStringList(rows, Timeout));
    }

    // When this machine has no socket left for a row, the row stays untested, the batch under way ends and so
    // does the run, which says why.
    void shortageLeavesRowsUntested()
    {
        Harness h;
        const FakeProxy refused(FakeProxy::Refused);
        h.table.addRows(QStringList(6, refused.row()));
        rlimit limit = {};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
        const rlimit saved = limit;
        // Room for two more descriptors: the limit is on their numbers, and the lowest free ones are taken first.
        int fd = 0;
        for (int free = 0; free < 2; ++fd)
            free += ::fcntl(fd, F_GETFD) < 0;
        limit.rlim_cur = rlim_t(fd);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
        h.shortage = qt_error_string(EMFILE);
        h.start(6, 6);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &saved) == 0);
        QCOMPARE(h.statuses(), QStringList({"Error", "Error", "", "", "", ""}));
    }

    // Abort ends a run after its batch, "Test untested" tests the rest, every run starts at the top, and "Test
    // selected" reads the selection of each row when it gets there.
    void modes()
    {
        Harness h;
        QTimer::singleShot(0, &h.table, [&h] { h.run.abort(); });
        h.start(5, 2);
        h.start(5, 2, CheckRows::UntestedRows);
        h.start(5, 2);
        QItemSelectionModel &selection = *h.table.selectionModel();
        selection.select(QItemSelection(h.table.index(0, 0), h.table.index(1, 0)), QItemSelectionModel::Select);
        // Row 2 unselected and row 3 selected after the run has started.
        const QItemSelection rows2and3(h.table.index(1, 0), h.table.index(2, 0));
        QTimer::singleShot(0, &h.table, [&] { selection.select(rows2and3, QItemSelectionModel::Toggle); });
        h.start(5, 1, CheckRows::SelectedRows);
        QCOMPARE(h.batches, QList<int>({0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 6, 7}));
        QCOMPARE(h.statuses(), QStringList({Timeout, "", Timeout, Timeout, Timeout}));
    }
};

KORVANE_TEST(TestChecker)
#include "tst_checker.moc"

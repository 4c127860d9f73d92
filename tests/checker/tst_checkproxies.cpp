// Test runs and their batches against a silent proxy on loopback, on a clock that runs twenty times faster than
// real time: which rows are probed, in which batches, and how a run ends.
#include "checker/SocketSlotArray.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/RunHarness.h"
#include "tests/common/ScaledClock.h"
#include "tests/common/TableText.h"
#include "tests/common/TestMain.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
const QString Timeout = CellText::Timeout;
} // namespace

class TestCheckProxies : public QObject
{
    Q_OBJECT

private:
    FakeProxy m_silent{FakeProxy::Silent};
    std::unique_ptr<ScaledClock> m_clock;
    std::unique_ptr<RunHarness> m_harness;
    // Rows turning "Checking..." one after the other, between two timeout passes, make one batch.
    QList<int> m_batches;
    bool m_inBatch = false;
    bool m_testingDuringMessage = false;

    RunHarness &h() { return *m_harness; }

    void fill(int rows)
    {
        for (int r = 0; r < rows; ++r)
            h().table.add(m_silent.row());
    }

    void select(std::initializer_list<int> rows, QItemSelectionModel::SelectionFlag flag = QItemSelectionModel::Select)
    {
        for (int r : rows)
            h().table.selectionModel()->select(h().table.index(r - 1, 0), flag | QItemSelectionModel::Rows);
    }

    QStringList statuses() const { return columnTexts(m_harness->table, ProxyTableModel::StatusColumn); }

    // What every run leaves behind, however it went.
    void verifyCompleted()
    {
        QCOMPARE(h().host.calls, QStringList({"lock", "unlock", "message"}));
        QVERIFY(m_testingDuringMessage);
        QVERIFY(!h().checkRun.isRunning());
        QVERIFY(!h().checkRun.abortRequested());
        QCOMPARE(h().checkRun.scheduler().slots().loadedCount(), 0);
        // Nor do their objects pile up while the run goes on.
        QVERIFY(h().checkRun.scheduler().slots().findChildren<SocketSlot *>().isEmpty());
    }

private Q_SLOTS:
    void init()
    {
        m_clock = std::make_unique<ScaledClock>(20);
        m_harness = std::make_unique<RunHarness>(m_clock.get());
        h().checkRun.setSettings({20, 1});
        m_batches.clear();
        m_inBatch = false;
        m_testingDuringMessage = false;
        h().host.onCompletion = [this] { m_testingDuringMessage = h().checkRun.isRunning(); };
        connect(&h().table, &ProxyTableModel::dataChanged, this,
                [this](const QModelIndex &from, const QModelIndex &to) {
                    if (from.column() > ProxyTableModel::StatusColumn || to.column() < ProxyTableModel::StatusColumn)
                        return;
                    const QString status = h().table.subItem(from.row() + 1, ProxyTableModel::Status);
                    if (status == CellText::Checking && !std::exchange(m_inBatch, true))
                        m_batches.append(0);
                    if (status == CellText::Checking)
                        ++m_batches.last();
                    else if (status == Timeout)
                        m_inBatch = false;
                });
    }

    void batching_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("slots");
        QTest::addColumn<QList<int>>("batches");
        QTest::newRow("fewer rows than slots") << 3 << 20 << QList<int>{3};
        QTest::newRow("exactly one batch") << 4 << 4 << QList<int>{4};
        QTest::newRow("one row over") << 5 << 4 << QList<int>{4, 1};
        QTest::newRow("one slot") << 3 << 1 << QList<int>{1, 1, 1};
    }

    void batching()
    {
        QFETCH(int, rows);
        QFETCH(int, slots);
        QFETCH(QList<int>, batches);
        fill(rows);
        h().checkRun.setSettings({slots, 1});
        h().checkRun.run(0);
        QCOMPARE(m_batches, batches);
        // One wait per batch: a run that ends on a full batch has no empty wait after it.
        QCOMPARE(m_clock->waits(), batches.size());
        QCOMPARE(statuses(), QStringList(rows, Timeout));
        QCOMPARE(h().table.color(rows), ProxyColor::Red);
        verifyCompleted();
    }

    void abortThenUntested()
    {
        fill(5);
        h().checkRun.setSettings({2, 1});
        QTimer::singleShot(0, this, [this] { h().checkRun.abort(); });
        h().checkRun.run(0);
        QCOMPARE(statuses(), QStringList({Timeout, Timeout, "", "", ""}));
        QCOMPARE(h().table.color(3), ProxyColor::Black);
        QCOMPARE(m_clock->waits(), 1);
        verifyCompleted();

        h().host.calls.clear();
        m_batches.clear();
        h().checkRun.run(1);
        QCOMPARE(m_batches, QList<int>({2, 1}));
        QCOMPARE(statuses(), QStringList(5, Timeout));
        verifyCompleted();

        // Every run starts from the top again: a cursor left at the end would probe nothing.
        m_batches.clear();
        h().checkRun.run(0);
        QCOMPARE(m_batches, QList<int>({2, 2, 1}));
    }

    void modes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QStringList>("after");
        const QString working = CellText::Working;
        const QString checking = CellText::Checking;
        const QStringList mixed{working, "", checking, Timeout};
        QTest::newRow("all") << 0 << mixed << QList<int>{} << QStringList(4, Timeout);
        QTest::newRow("untested") << 1 << mixed << QList<int>{} << QStringList({working, Timeout, checking, Timeout});
        QTest::newRow("untested, none left")
            << 1 << QStringList{working, working} << QList<int>{} << QStringList{working, working};
        QTest::newRow("selected") << 2 << mixed << QList<int>{1, 3} << QStringList({Timeout, "", Timeout, Timeout});
        QTest::newRow("selected, no selection") << 2 << mixed << QList<int>{} << mixed;
    }

    void modes()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, before);
        QFETCH(QList<int>, selected);
        QFETCH(QStringList, after);
        fill(int(before.size()));
        for (int r = 1; r <= before.size(); ++r) {
            h().table.setSubItem(r, ProxyTableModel::Status, before[r - 1]);
            h().table.setProxyColor(r, ProxyColor::Green);
        }
        for (int r : selected)
            select({r});
        h().checkRun.run(mode);
        QCOMPARE(statuses(), after);
        for (int r = 1; r <= after.size(); ++r) {
            if (after[r - 1] == before[r - 1] && after[r - 1] != Timeout)
                QCOMPARE(h().table.color(r), ProxyColor::Green);
        }
        QCOMPARE(m_clock->waits(), after == before ? 0 : 1);
        verifyCompleted();
    }

    // The selection counts when the cursor reaches a row, not when the run starts.
    void selectionReadWhenReached()
    {
        fill(3);
        h().checkRun.setSettings({1, 1});
        select({1, 2});
        QTimer::singleShot(0, this, [this] {
            select({2}, QItemSelectionModel::Deselect);
            select({3});
        });
        h().checkRun.run(2);
        QCOMPARE(statuses(), QStringList({Timeout, "", Timeout}));
        QCOMPARE(h().table.color(2), ProxyColor::Black);
    }

    // On the real clock: the wait runs to the deadline even when every probe is done, and events keep flowing.
    void waitRunsPastDeadline()
    {
        RunHarness harness;
        harness.checkRun.setSettings({20, 1});
        FakeProxy echo(FakeProxy::EchoOwnAddress);
        harness.table.add(echo.row());
        bool timerRan = false;
        QTimer::singleShot(100, this, [&timerRan] { timerRan = true; });
        QElapsedTimer elapsed;
        elapsed.start();
        harness.checkRun.run(0);
        QVERIFY(elapsed.elapsed() >= 1000);
        QVERIFY(timerRan);
        QCOMPARE(harness.table.subItem(1, ProxyTableModel::Status), CellText::Working);
    }
};

KORVANE_TEST(TestCheckProxies)
#include "tst_checkproxies.moc"

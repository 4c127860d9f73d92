// Socket slots against real peers on loopback: a slot number loaded again while the old connection still has
// things to say, and answers that come with the close at once, many times over.
#include "checker/SocketSlotArray.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/RunHarness.h"
#include "tests/common/ScaledClock.h"
#include "tests/common/TestMain.h"

#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

class TestSocketSlots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noEventOfAnUnloadedSlot()
    {
        FakeProxy talker(FakeProxy::EchoSplit);
        FakeProxy silent(FakeProxy::Silent);
        SocketSlotArray slots;
        QStringList events;
        connect(&slots, &SocketSlotArray::connected, this, [&](int n) {
            events.append(QStringLiteral("connect"));
            slots.item(n)->send("GET http://127.0.0.1/ HTTP/1.0\r\n\r\n\r\n");
        });
        connect(&slots, &SocketSlotArray::dataArrived, this,
                [&](int n) { events.append(QString::fromLatin1(slots.item(n)->answer())); });
        connect(&slots, &SocketSlotArray::closed, this, [&] { events.append(QStringLiteral("close")); });
        connect(&slots, &SocketSlotArray::failed, this, [&] { events.append(QStringLiteral("error")); });
        const auto aim = [&slots](quint16 port) {
            QVERIFY(slots.load(1));
            slots.item(1)->connectTo(QHostAddress(QHostAddress::LocalHost).toIPv4Address(), port);
        };

        aim(talker.port());
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), 2, 5000);
        // The rest of the page and the close are still to come on the old connection.
        slots.unload(1);
        QVERIFY(!slots.exists(1));
        events.clear();
        aim(silent.port());
        QTRY_COMPARE_WITH_TIMEOUT(silent.requests().size(), 1, 5000);
        QTest::qWait(150);
        QCOMPARE(events, QStringList{"connect"});
        slots.unload(1);
        events.clear();

        // Out of descriptors, the failure is still told through the event loop, not from inside Connect().
        const quint16 refused = FakeProxy::refusedPort();
        rlimit files{};
        ::getrlimit(RLIMIT_NOFILE, &files);
        const rlimit before = files;
        files.rlim_cur = rlim_t(::dup(0));
        ::close(int(files.rlim_cur));
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &files), 0);
        aim(refused);
        ::setrlimit(RLIMIT_NOFILE, &before);
        QVERIFY(events.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(events, QStringList{"error"}, 5000);
    }

    // The commonest proxy of all sends its whole answer and closes at once, half of the time with the close in the
    // answer's last segment: every one of these probes is "Working", whatever the timing.
    void closeAfterAnswer()
    {
        constexpr int Probes = 2000;
        FakeProxy corked(FakeProxy::EchoCorked);
        ScaledClock clock(2);
        RunHarness harness(&clock);
        harness.checkRun.setSettings({200, 1});
        harness.table.addRows(QStringList(Probes, corked.row()));
        harness.checkRun.run(0);
        QStringList wrong;
        for (int r = 1; r <= Probes; ++r) {
            if (harness.table.subItem(r, ProxyTableModel::Status) != CellText::Working)
                wrong.append(harness.table.subItem(r, ProxyTableModel::Status));
        }
        QCOMPARE(wrong, QStringList());
        QCOMPARE(corked.requests().size(), Probes);
    }
};

KORVANE_TEST(TestSocketSlots)
#include "tst_socketslots.moc"

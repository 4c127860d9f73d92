// Socket slots against real peers on loopback. Close, reset and refusal are judged in tst_probeexchange; this is
// about a slot number that is loaded again while the old connection still has things to say.
#include "FakeProxy.h"
#include "SocketSlotArray.h"

#include <QTest>

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
        connect(&slots, &SocketSlotArray::Connect, this, [&](int n) {
            events.append(QStringLiteral("connect"));
            slots.item(n)->SendData("GET http://127.0.0.1/ HTTP/1.0\r\n\r\n\r\n");
        });
        connect(&slots, &SocketSlotArray::DataArrival, this,
                [&](int n, qint64 bytes) { events.append(QString::fromLatin1(slots.item(n)->GetData(bytes))); });
        connect(&slots, &SocketSlotArray::Close, this, [&] { events.append(QStringLiteral("close")); });
        connect(&slots, &SocketSlotArray::Error, this, [&] { events.append(QStringLiteral("error")); });
        const auto aim = [&slots](quint16 port) {
            QVERIFY(slots.Load(1));
            slots.item(1)->setRemoteHost(QHostAddress::LocalHost);
            slots.item(1)->setRemotePort(port);
            slots.item(1)->Connect();
        };

        aim(talker.port());
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), 2, 5000);
        // The rest of the page and the close are still to come on the old connection.
        slots.Unload(1);
        QVERIFY(!SlotExists(slots, 1));
        events.clear();
        aim(silent.port());
        QTRY_COMPARE_WITH_TIMEOUT(silent.requests().size(), 1, 5000);
        QTest::qWait(150);
        QCOMPARE(events, QStringList{"connect"});
    }
};

QTEST_GUILESS_MAIN(TestSocketSlots)
#include "tst_socketslots.moc"

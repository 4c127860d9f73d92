// Verdicts: the judgement of an answer on its own, then whole runs through fake proxies on loopback, one
// misbehaviour each.
#include "checker/ProbeExchange.h"
#include "checker/SocketSlotArray.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/RunHarness.h"
#include "tests/common/TestMain.h"

#include <QTest>

#include <memory>

#include <poll.h>
#include <sys/socket.h>

namespace {
const QString Y = CellText::Anonymous;
const QString N = CellText::NotAnonymous;
const QString Dash = CellText::NoVerdict;
const QString GreenText = QString::number(ProxyColor::Green);
const QString RedText = QString::number(ProxyColor::Red);

QStringList working(const QString &anonymity)
{
    return {anonymity, Dash, CellText::Working, GreenText};
}

QStringList failed(const QString &status)
{
    return {Dash, Dash, status, RedText};
}
} // namespace

class TestProbeExchange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void judge_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("row");
        QTest::addColumn<Verdict>("verdict");
        const QString page =
            QStringLiteral("HTTP/1.0 500 Oops\r\n\r\n<body>Current IP Address: 10.0.0.1</body></html>");
        QTest::newRow("own address") << page << "10.0.0.1:80" << Verdict::working(true);
        QTest::newRow("other address") << page << "10.0.0.2:80" << Verdict::working(false);
        QTest::newRow("blanks before the row") << page << "   10.0.0.1:80" << Verdict::working(true);
        QTest::newRow("same value, other text") << page << "010.0.0.1:80" << Verdict::working(false);
        QTest::newRow("blanks around the address") << "Current IP Address:  10.0.0.1  </body></html>"
                                                   << "10.0.0.1:80" << Verdict::working(true);
        QTest::newRow("line break before the end") << "Current IP Address: 10.0.0.1\r\n</body></html>"
                                                   << "10.0.0.1:80" << Verdict::working(false);
        QTest::newRow("marker in lower case") << "current ip address: 10.0.0.1</body></html>"
                                              << "10.0.0.1:80" << Verdict::invalidResponse();
        QTest::newRow("end marker right away") << "Current IP Address: </body></html>"
                                               << "10.0.0.1:80" << Verdict::working(false);
        QTest::newRow("marker twice") << "Current IP Address: 10.0.0.2Current IP Address: 10.0.0.1</body></html>"
                                      << "10.0.0.2:80" << Verdict::working(true);
        QTest::newRow("marker at the very end") << "<body>Current IP Address: "
                                                << "10.0.0.1:80" << Verdict::working(false);
        QTest::newRow("empty answer") << ""
                                      << "10.0.0.1:80" << Verdict::invalidResponse();
    }

    void judge()
    {
        QFETCH(QString, answer);
        QFETCH(QString, row);
        QFETCH(Verdict, verdict);
        QCOMPARE(ProbeExchange::judge(answer, row), verdict);
    }

    void verdictsThroughFakeProxies()
    {
        using F = FakeProxy;
        struct Case
        {
            std::unique_ptr<FakeProxy> proxy;
            QString row;
            QStringList cells;
        };
        const auto proxied = [](F::Behaviour behaviour, QStringList cells) {
            auto proxy = std::make_unique<FakeProxy>(behaviour);
            const QString row = proxy->row();
            return Case{std::move(proxy), row, std::move(cells)};
        };
        const F echo(F::EchoOwnAddress);
        const QString echoPort = QString::number(echo.port());
        Case cases[] = {
            proxied(F::EchoOwnAddress, working(Y)),
            proxied(F::EchoOtherAddress, working(N)),
            proxied(F::EchoSplit, working(Y)),
            proxied(F::NoMarker, failed(CellText::InvalidResponse)),
            proxied(F::CloseEmpty, failed(CellText::InvalidResponse)),
            proxied(F::Silent, failed(CellText::Timeout)),
            proxied(F::PartialThenSilent, failed(CellText::Timeout)),
            proxied(F::Reset, failed(CellText::Error)),
            proxied(F::ResetAfterPage, failed(CellText::Error)),
            proxied(F::EndlessStream, failed(CellText::Timeout)),
            proxied(F::OversizedPage, working(Y)),
            proxied(F::LateMarker, failed(CellText::InvalidResponse)),
            {nullptr, "127.0.0.1:" + QString::number(F::refusedPort()), failed(CellText::Error)},
            // Connected by number to 127.0.0.1, judged on the text.
            {nullptr, "&H7F.0.0.1:" + echoPort, working(N)},
            {nullptr, "127.0.0.1:" + echoPort + ":9", working(Y)},
            {nullptr, "  127.0.0.1:" + echoPort, working(Y)},
            {nullptr, "localhost:" + echoPort, failed(CellText::Error)},
            {nullptr, "127.0.0.1:0", failed(CellText::Error)},
        };
        RunHarness harness;
        harness.checkRun.setSettings({20, 1});
        for (const Case &c : cases)
            harness.table.add(c.row);
        // What the endless stream's slot keeps, seen as the bytes come in.
        const SocketSlotArray &slots = harness.checkRun.scheduler().slots();
        int splitReads = 0;
        qsizetype keptAtMost = 0;
        qsizetype heldAtMost = 0;
        qint64 streamed = 0;
        connect(&slots, &SocketSlotArray::dataArrived, this, [&](int n) {
            splitReads += n == 3;
            if (n != 10)
                return;
            keptAtMost = std::max(keptAtMost, slots.item(n)->answer().size());
            heldAtMost = std::max(heldAtMost, slots.item(n)->answer().capacity());
            streamed = slots.item(n)->received();
        });

        harness.checkRun.run(0);

        for (int r = 1; r <= int(std::size(cases)); ++r)
            QVERIFY2(harness.cells(r) == cases[r - 1].cells, qPrintable(cases[r - 1].row));
        QVERIFY(splitReads >= 2);
        QCOMPARE(cases[0].proxy->requests(), QList<QByteArray>{"GET http://127.0.0.1:9/ HTTP/1.0\r\n\r\n\r\n"});
        QCOMPARE(keptAtMost, ProbeExchange::MaxAnswerBytes);
        QCOMPARE(heldAtMost, ProbeExchange::MaxAnswerBytes);
        QVERIFY(streamed > 4 * ProbeExchange::MaxAnswerBytes);
        QCOMPARE(harness.panels.text(StatusPanels::Working), QStringLiteral("7"));
        QCOMPARE(harness.panels.text(StatusPanels::Anonymous), QStringLiteral("5"));
        QCOMPARE(harness.host.calls, QStringList({"lock", "unlock", "message"}));
        QCOMPARE(slots.loadedCount(), 0);
    }

    // The request cannot go out although the connection stands (its sending side is shut down under it): "Error",
    // and the slot is let go there and then, not at the deadline.
    void failedRequestWrite()
    {
        FakeProxy silent(FakeProxy::Silent);
        FakeProxy echo(FakeProxy::EchoOwnAddress);
        RunHarness harness;
        harness.checkRun.setSettings({20, 1});
        harness.table.add(silent.row());
        harness.table.add(echo.row());
        const SocketSlotArray &slots = harness.checkRun.scheduler().slots();
        bool heldAtVerdict = true;
        bool shutDown = false;
        connect(&harness.table, &ProxyTableModel::dataChanged, this, [&](const QModelIndex &from) {
            const QString status = harness.table.subItem(from.row() + 1, ProxyTableModel::Status);
            if (from.row() == 0 && status == CellText::Error)
                heldAtVerdict = slots.exists(1);
            // Row 2 is handed out right after slot 1 has started, before any event is handled.
            if (from.row() == 1 && status == CellText::Checking && !std::exchange(shutDown, true)) {
                pollfd connecting{slots.item(1)->descriptor(), POLLOUT, 0};
                QCOMPARE(::poll(&connecting, 1, 5000), 1);
                QCOMPARE(::shutdown(connecting.fd, SHUT_WR), 0);
            }
        });
        harness.checkRun.run(0);
        QCOMPARE(harness.cells(1), failed(CellText::Error));
        QCOMPARE(harness.cells(2), working(Y));
        QVERIFY(silent.requests().isEmpty());
        QVERIFY(!heldAtVerdict);
    }
};

KORVANE_TEST(TestProbeExchange)
#include "tst_probeexchange.moc"

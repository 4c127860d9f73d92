// Test runs through the real window against a silent proxy on loopback: the controls locked and given back, the
// completion message, and the program ended by Exit or by closing the window in the middle of a run.
#include "app/MainWindow.h"
#include "checker/CheckRun.h"
#include "checker/SocketSlotArray.h"
#include "proxylist/CellText.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/TableText.h"
#include "tests/common/TestMain.h"
#include "tests/gui/ControlArray.h"
#include "tests/gui/FakeDesktop.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeView>

class TestCheckerWindow : public QObject
{
    Q_OBJECT

private:
    FakeProxy m_silent{FakeProxy::Silent};
    std::unique_ptr<FakeDesktop> m_desktop;
    std::unique_ptr<MainWindow> m_window;

    // Enabled flags of the six buttons, then of the two sliders.
    QString controls()
    {
        QString flags;
        for (int i = 0; i < MainWindow::CommandCount; ++i)
            flags += element<QPushButton>(*m_window, "cmdProxy", i)->isEnabled() ? u'1' : u'0';
        flags += u' ';
        for (int i = 0; i < 2; ++i)
            flags += element<QSlider>(*m_window, "Sliders", i)->isEnabled() ? u'1' : u'0';
        return flags;
    }

    void prepare(int rows, int slots, int seconds)
    {
        for (int r = 0; r < rows; ++r)
            m_window->table().add(m_silent.row());
        element<QSlider>(*m_window, "Sliders", 0)->setValue(slots);
        element<QSlider>(*m_window, "Sliders", 1)->setValue(seconds);
        m_window->checkRun().setProbeHost(QStringLiteral("127.0.0.1:9"));
    }

    void chooseTest(int index)
    {
        QAction *item = element<QAction>(*m_window, "mProxyTest", index);
        QVERIFY(item && item->isEnabled());
        item->trigger();
    }

    // Runs while the run waits on its first batch.
    void duringRun(std::function<void()> action) { QTimer::singleShot(50, m_window.get(), std::move(action)); }

    QStringList statuses() { return columnTexts(m_window->table(), ProxyTableModel::StatusColumn); }

private Q_SLOTS:
    void init()
    {
        m_desktop = std::make_unique<FakeDesktop>();
        m_window = std::make_unique<MainWindow>(*m_desktop);
        m_window->show();
    }

    void cleanup() { m_window.reset(); }

    void runLocksTheWindowUntilItEnds()
    {
        prepare(3, 20, 1);
        const QString idle = controls();
        QCOMPARE(idle, QStringLiteral("111101 11"));
        QHeaderView *header = m_window->findChild<QTreeView *>(QStringLiteral("ListProxies"))->header();
        const auto clickHeader = [header](int section) {
            const QPoint point(header->sectionViewportPosition(section) + 10, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, point);
        };
        const auto arrow = [header] { return QPair(header->sortIndicatorSection(), header->sortIndicatorOrder()); };
        clickHeader(0); // accepted: the first sort is descending
        const auto sorted = arrow();
        QCOMPARE(sorted, QPair(0, Qt::DescendingOrder));
        // Refused during the run: neither the rows nor the arrow move, not even while the warning is open.
        QString during;
        decltype(arrow()) arrowUnderTheBox;
        m_desktop->onWarning = [&] { arrowUnderTheBox = arrow(); };
        duringRun([&] {
            during = controls();
            clickHeader(3);
        });
        bool testingDuringMessage = false;
        m_desktop->onInformation = [&] { testingDuringMessage = m_window->checkRun().isRunning(); };
        chooseTest(0);

        QCOMPARE(during, QStringLiteral("000011 00"));
        QCOMPARE(controls(), idle);
        QCOMPARE(statuses(), QStringList(3, CellText::Timeout));
        QCOMPARE(m_desktop->boxes.size(), 2);
        QCOMPARE(m_desktop->boxes[0].text, QStringLiteral("You can not sort list while testing proxies."));
        QCOMPARE(m_desktop->boxes[1].kind, QStringLiteral("information"));
        QCOMPARE(m_desktop->boxes[1].title, QStringLiteral("Proxy Checking Completed."));
        QCOMPARE(m_desktop->boxes[1].text, QStringLiteral("The proxies have been checked."));
        QVERIFY(testingDuringMessage);
        QVERIFY(!m_window->checkRun().isRunning());
        QCOMPARE(m_window->panels().text(StatusPanels::Working), QStringLiteral("0"));
        QCOMPARE(arrowUnderTheBox, sorted);
        QCOMPARE(arrow(), sorted);
        // A refused click does not count: the next accepted one flips from the last accepted order.
        clickHeader(3);
        QCOMPARE(arrow(), QPair(3, Qt::AscendingOrder));
    }

    void programEndsDuringRun_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Exit") << "exit";
        QTest::newRow("window closed") << "close";
        QTest::newRow("window deleted") << "delete";
    }

    // Within a 60-second batch: the run ends at once, without its message, and lets every socket go.
    void programEndsDuringRun()
    {
        QFETCH(QString, how);
        prepare(3, 20, 60);
        QSignalSpy exits(m_window.get(), &MainWindow::exitRequested);
        const QPointer<MainWindow> window = m_window.get();
        duringRun([&] {
            if (how == QLatin1String("exit"))
                QTest::mouseClick(element<QPushButton>(*m_window, "cmdProxy", MainWindow::ExitCommand), Qt::LeftButton);
            else if (how == QLatin1String("close"))
                m_window->close();
            else
                m_window.release()->deleteLater();
        });
        QElapsedTimer elapsed;
        elapsed.start();
        if (how == QLatin1String("delete"))
            window->testChosen(0);
        else
            chooseTest(0);

        QVERIFY(elapsed.elapsed() < 30000);
        QVERIFY(m_desktop->boxes.isEmpty());
        if (how == QLatin1String("delete")) {
            QVERIFY(!window);
            return;
        }
        QCOMPARE(exits.size(), 1);
        QCOMPARE(m_desktop->openedUrls.size(), how == QLatin1String("exit") ? 1 : 0);
        QCOMPARE(m_window->checkRun().scheduler().slots().loadedCount(), 0);
        QVERIFY(!m_window->checkRun().isRunning());
    }
};

KORVANE_TEST(TestCheckerWindow)
#include "tst_checkerwindow.moc"

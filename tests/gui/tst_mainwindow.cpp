#include "ControlArray.h"
#include "FakeDesktop.h"
#include "MainWindow.h"
#include "ProxyTableModel.h"
#include "StatusPanels.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTest>
#include <QTreeView>

namespace {
QStringList visibleCaptions(QMenu *menu)
{
    QStringList captions;
    for (QAction *action : menu->actions()) {
        if (action->isVisible())
            captions.append(action->text());
    }
    return captions;
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    FakeDesktop m_desktop;
    std::unique_ptr<MainWindow> m_window;

    QPushButton *button(int index) { return element<QPushButton>(*m_window, "cmdProxy", index); }
    QSlider *slider(int index) { return element<QSlider>(*m_window, "Sliders", index); }
    QLabel *sliderLabel(int index) { return element<QLabel>(*m_window, "lblSliders", index); }
    QMenu *subMenu(int index) { return element<QMenu>(*m_window, "mProxies", index); }
    QTreeView *listProxies() { return m_window->findChild<QTreeView *>(QStringLiteral("ListProxies")); }

    QStringList tableTexts(int column)
    {
        QStringList texts;
        for (int r = 1; r <= m_window->table().count(); ++r)
            texts.append(column == 0 ? m_window->table().itemText(r) : m_window->table().subItem(r, column));
        return texts;
    }

    void clickHeader(int section)
    {
        QHeaderView *header = listProxies()->header();
        const QPoint point(header->sectionViewportPosition(section) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, point);
    }

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    void init()
    {
        m_desktop = FakeDesktop();
        m_window = std::make_unique<MainWindow>(m_desktop);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void windowFrameAndBackground()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Korvane"));
        QCOMPARE(m_window->objectName(), QStringLiteral("frmMain"));
        QCOMPARE(m_window->size(), QSize(724, 562));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize()); // the layout never adapts
        QCOMPARE(m_window->palette().color(QPalette::Window), QColor(224, 224, 224));
        QVERIFY(m_window->findChildren<QMenuBar *>().isEmpty());
        QVERIFY(!m_window->findChild<QMenu *>(QStringLiteral("mProxyMenu"))->isVisible());
    }

    void buttons_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("top");
        QTest::addColumn<QColor>("fill");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("key");
        QTest::newRow("load") << 0 << "&Load =>" << 168 << QColor(255, 192, 128) << true << int(Qt::Key_L);
        QTest::newRow("test") << 1 << "&Test =>" << 208 << QColor(128, 255, 128) << true << int(Qt::Key_T);
        QTest::newRow("filter") << 2 << "&Filter =>" << 248 << QColor(255, 255, 128) << true << int(Qt::Key_F);
        QTest::newRow("save") << 3 << "&Save =>" << 288 << QColor(255, 128, 255) << true << int(Qt::Key_S);
        QTest::newRow("abort") << 4 << "&Abort" << 328 << QColor(255, 128, 128) << false << int(Qt::Key_A);
        QTest::newRow("exit") << 5 << "&Exit" << 368 << QColor(255, 192, 192) << true << int(Qt::Key_E);
    }

    void buttons()
    {
        QFETCH(int, index);
        QFETCH(int, top);
        QFETCH(int, key);
        QPushButton *cmd = button(index);
        QVERIFY(cmd);
        QTEST(cmd->text(), "caption");
        QCOMPARE(cmd->geometry(), QRect(528, top, 193, 33));
        QTEST(cmd->palette().color(QPalette::Button), "fill");
        QTEST(cmd->isEnabled(), "enabled");
        QCOMPARE(cmd->shortcut(), QKeySequence(Qt::ALT | Qt::Key(key)));
    }

    void settingsFrameAndSliders()
    {
        auto *frame = m_window->findChild<QGroupBox *>(QStringLiteral("Frame1"));
        QCOMPARE(frame->title(), QStringLiteral("Connection Settings "));
        QCOMPARE(frame->geometry(), QRect(528, 8, 193, 145));
        auto *threads = frame->findChild<QLabel *>(QStringLiteral("Label3"));
        auto *timeout = frame->findChild<QLabel *>(QStringLiteral("Label4"));
        QCOMPARE(threads->text(), QStringLiteral("No. of Threads:"));
        QCOMPARE(threads->geometry(), QRect(8, 32, 81, 17));
        QCOMPARE(timeout->text(), QStringLiteral("Timeout (sec)"));
        QCOMPARE(timeout->geometry(), QRect(8, 88, 81, 17));

        const int maximum[] = {200, 60};
        const int value[] = {20, 10};
        const int top[] = {32, 88};
        for (int i = 0; i < 2; ++i) {
            QSlider *s = slider(i);
            QCOMPARE(s->parentWidget(), frame);
            QCOMPARE(s->geometry(), QRect(8, top[i] + 16, 177, 25));
            QCOMPARE(s->orientation(), Qt::Horizontal);
            QCOMPARE(s->minimum(), 1);
            QCOMPARE(s->maximum(), maximum[i]);
            QCOMPARE(s->value(), value[i]);
            QCOMPARE(s->pageStep(), 10);
            QCOMPARE(s->singleStep(), 1);
            QCOMPARE(s->tickPosition(), QSlider::NoTicks);
            QCOMPARE(sliderLabel(i)->text(), QString::number(value[i]));
            QCOMPARE(sliderLabel(i)->geometry(), QRect(152, top[i], 33, 17));
            QCOMPARE(m_window->runControl().SliderValues[size_t(i)], value[i]);
        }
        QVERIFY(!m_window->runControl().AbortTest);
        QVERIFY(!m_window->runControl().IsTesting);
    }

    void tableAndStatusBar()
    {
        QTreeView *view = listProxies();
        QCOMPARE(view->geometry(), QRect(8, 8, 513, 521));
        QCOMPARE(view->model()->rowCount(), 0);
        QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(view->selectionModel(), m_window->table().selectionModel());
        QCOMPARE(view->font().pointSizeF(), 9.75);
        const QStringList captions{"Proxy", "Anonymity", "Speed", "Status"};
        const int widths[] = {200, 96, 96, 96};
        for (int column = 0; column < 4; ++column) {
            QCOMPARE(view->model()->headerData(column, Qt::Horizontal).toString(), captions[column]);
            QCOMPARE(view->header()->sectionSize(column), widths[column]);
        }
        QCOMPARE(view->header()->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

        auto *statusBar = m_window->findChild<QStatusBar *>(QStringLiteral("sb1"));
        QCOMPARE(statusBar->geometry(), QRect(0, 537, 724, 25));
        const QList<QLabel *> panels = statusBar->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
        QCOMPARE(panels.size(), 6);
        const QStringList texts{"Total Proxies:", "", "Working Proxies:", "", "Anonymous Proxies:", ""};
        const int panelWidths[] = {96, 96, 96, 96, 107, 96};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(panels[i]->text(), texts[i]);
            QCOMPARE(panels[i]->width(), panelWidths[i]);
        }
        QCOMPARE(panels[1]->objectName(), QStringLiteral("totalproxies"));
        QCOMPARE(panels[3]->objectName(), QStringLiteral("workingproxies"));
        QCOMPARE(panels[5]->objectName(), QStringLiteral("anonymousproxies"));

        // The panels show what the counters hold.
        m_window->panels().setTotal(3);
        m_window->panels().UpdateCounters(m_window->table());
        QCOMPARE(panels[1]->text(), QStringLiteral("3"));
        QCOMPARE(panels[3]->text(), QStringLiteral("0"));
    }

    void tabOrderStartsAtTheTable()
    {
        QCOMPARE(QApplication::focusWidget(), listProxies());
        QList<QWidget *> expected{listProxies(), slider(0), slider(1)};
        for (int i = 0; i < 6; ++i)
            expected.append(button(i));
        QWidget *widget = listProxies();
        for (int i = 1; i < expected.size(); ++i) {
            do {
                widget = widget->nextInFocusChain();
            } while (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(m_window.get()) ||
                     widget->parentWidget() == listProxies() || widget == listProxies()->header() ||
                     widget->parentWidget() == listProxies()->header());
            QCOMPARE(widget, expected[i]);
        }
    }

    void menusHoldTheirItems()
    {
        const QStringList titles{"Load Proxies", "Test Proxies", "Filter Proxies", "Save Proxies"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(subMenu(i)->title(), titles[i]);
        QCOMPARE(visibleCaptions(subMenu(0)),
                 (QStringList{"Load and replace current list", "Load and merge current list",
                              "Load from Clipboard and replace current list",
                              "Load from Clipboard and merge current list"}));
        QCOMPARE(visibleCaptions(subMenu(1)),
                 (QStringList{"Test all proxies", "Test untested proxies", "Test selected proxies"}));
        QCOMPARE(visibleCaptions(subMenu(2)), (QStringList{"Keep working proxies", "Keep anonymous proxies",
                                                           "Keep selected proxies", "Keep proxies by speed"}));
        QCOMPARE(visibleCaptions(subMenu(3)),
                 (QStringList{"Save proxies to clipboard", "Save proxies to a text file", "Save selected to clipboard",
                              "Save selected to a text file"}));

        auto *bySpeed = element<QAction>(*m_window, "mProxyFilter", 3);
        QVERIFY(bySpeed->isVisible() && !bySpeed->isEnabled());
        for (int hidden : {1, 4}) {
            auto *proxyBox = element<QAction>(*m_window, "mProxySave", hidden);
            QVERIFY(!proxyBox->isVisible() && !proxyBox->isEnabled());
            QVERIFY(proxyBox->text().contains(QStringLiteral("proxy box")));
        }
        for (QMenu *menu : m_window->findChildren<QMenu *>()) {
            for (QAction *action : menu->actions()) {
                if (action->menu())
                    continue;
                QVERIFY2(!action->text().contains(u'&'), qPrintable(action->text()));
                QVERIFY(action->shortcut().isEmpty());
                QVERIFY(!action->isCheckable());
            }
        }
    }

    void commandButtonsPopUpTheirMenuUnderTheButton()
    {
        for (int i = 0; i < 4; ++i) {
            QMenu *menu = subMenu(i);
            QTest::mouseClick(button(i), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
            const QRect cmd = button(i)->geometry();
            QCOMPARE(menu->pos(), m_window->mapToGlobal(QPoint(cmd.left(), cmd.bottom() + 1)));
            menu->close(); // dismissing changes nothing
            QTRY_VERIFY_WITH_TIMEOUT(!menu->isVisible(), 2000);
        }
        QCOMPARE(m_window->table().count(), 0);
        QVERIFY(m_desktop.boxes.isEmpty());
    }

    void accessLettersPressTheButtons()
    {
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY_WITH_TIMEOUT(subMenu(2)->isVisible(), 2000);
        subMenu(2)->close();
        QTRY_VERIFY_WITH_TIMEOUT(!subMenu(2)->isVisible(), 2000);

        QTest::keyClick(m_window.get(), Qt::Key_A, Qt::AltModifier); // Abort is disabled outside a run
        QVERIFY(!m_window->runControl().AbortTest);
    }

    void slidersFeedTheSettings()
    {
        slider(0)->setValue(slider(0)->maximum());
        QCOMPARE(m_window->runControl().SliderValues[0], 200);
        QCOMPARE(sliderLabel(0)->text(), QStringLiteral("200"));
        slider(1)->setValue(slider(1)->minimum());
        QCOMPARE(m_window->runControl().SliderValues[1], 1);
        QCOMPARE(sliderLabel(1)->text(), QStringLiteral("1"));

        slider(1)->setFocus();
        QTest::keyClick(slider(1), Qt::Key_PageUp);
        QCOMPARE(m_window->runControl().SliderValues[1], 11);
        QTest::keyClick(slider(1), Qt::Key_Left);
        QCOMPARE(sliderLabel(1)->text(), QStringLiteral("10"));
        QCOMPARE(m_window->runControl().SliderValues[1], 10);
    }

    void abortOnlyRaisesTheFlag()
    {
        m_window->table().add(QStringLiteral("1.2.3.4:80"));
        m_window->cmdProxy_Click(MainWindow::AbortCommand);
        QVERIFY(m_window->runControl().AbortTest);
        QCOMPARE(m_window->table().count(), 1);
        QVERIFY(!button(4)->isEnabled());
        QVERIFY(m_desktop.boxes.isEmpty());
        m_window->cmdProxy_Click(42); // no such button: nothing happens
    }

    void exitOpensTheMakersPageAndEnds()
    {
        QSignalSpy exit(m_window.get(), &MainWindow::exitRequested);
        QTest::mouseClick(button(5), Qt::LeftButton);
        QCOMPARE(m_desktop.openedUrls, QList<QUrl>{MainWindow::MakerPage});
        QCOMPARE(exit.size(), 1);
        QVERIFY(m_desktop.boxes.isEmpty());
    }

    void headerClicksSortAndFlipTheOrder()
    {
        ProxyTableModel &table = m_window->table();
        table.addRows({QStringLiteral("2.0.0.1:80"), QStringLiteral("10.0.0.1:80"), QStringLiteral("9.0.0.1:80")});
        table.setSubItem(1, ProxyTableModel::Status, QStringLiteral("Working"));
        table.setSubItem(2, ProxyTableModel::Status, QStringLiteral("Timeout"));
        table.setSubItem(3, ProxyTableModel::Status, QStringLiteral("Error"));
        auto *view = listProxies();
        view->selectionModel()->select(table.index(1, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

        clickHeader(0); // the first click after start sorts descending
        QCOMPARE(tableTexts(0), (QStringList{"9.0.0.1:80", "2.0.0.1:80", "10.0.0.1:80"}));
        QVERIFY(table.isSelected(3)); // the selection moved with its row
        clickHeader(0);
        QCOMPARE(tableTexts(0), (QStringList{"10.0.0.1:80", "2.0.0.1:80", "9.0.0.1:80"}));
        clickHeader(3); // the order keeps flipping whichever column is clicked
        QCOMPARE(tableTexts(3), (QStringList{"Working", "Timeout", "Error"}));
        QCOMPARE(tableTexts(0), (QStringList{"2.0.0.1:80", "10.0.0.1:80", "9.0.0.1:80"}));
        QVERIFY(m_desktop.boxes.isEmpty());

        m_window->runControl().IsTesting = true;
        clickHeader(0);
        QCOMPARE(tableTexts(0), (QStringList{"2.0.0.1:80", "10.0.0.1:80", "9.0.0.1:80"}));
        QCOMPARE(m_desktop.boxes.size(), 1);
        QCOMPARE(m_desktop.boxes[0].kind, QStringLiteral("warning"));
        QCOMPARE(m_desktop.boxes[0].title, QStringLiteral("Can't sort list"));
        QCOMPARE(m_desktop.boxes[0].text, QStringLiteral("You can not sort list while testing proxies."));

        // A refused click does not count: the next accepted one still flips from the last accepted order.
        m_window->runControl().IsTesting = false;
        clickHeader(3);
        QCOMPARE(tableTexts(3), (QStringList{"Error", "Timeout", "Working"}));
    }

    // Leaves a picture of the window under the build folder for a person to look at.
    void screenshot()
    {
        const QString folder = qEnvironmentVariable("KORVANE_TEST_OUTPUT", QDir::tempPath());
        QVERIFY(QDir().mkpath(folder));
        m_window->table().addRows({QStringLiteral("127.0.0.1:3128"), QStringLiteral("127.0.0.2:8080")});
        m_window->table().setSubItem(1, ProxyTableModel::Status, QStringLiteral("Working"));
        m_window->table().SetProxyColor(1, ProxyColor::Green);
        m_window->table().setSubItem(2, ProxyTableModel::Status, QStringLiteral("Timeout"));
        m_window->table().SetProxyColor(2, ProxyColor::Red);
        const QImage image = m_window->grab().toImage();
        QCOMPARE(image.size() / image.devicePixelRatio(), QSize(724, 562));
        QVERIFY(image.save(folder + QStringLiteral("/mainwindow.png")));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

// The window as the user meets it: what it shows at start, keys and clicks on its controls, and its pixels.
#include "app/MainWindow.h"
#include "checker/CheckRun.h"
#include "checker/Verdict.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"
#include "tests/common/TableText.h"
#include "tests/common/TestMain.h"
#include "tests/gui/ControlArray.h"
#include "tests/gui/FakeDesktop.h"

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

QString fontOf(const QWidget *widget)
{
    const QFontInfo font(widget->font());
    return font.family() + u' ' + QString::number(font.pointSizeF());
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
    QList<QLabel *> panels()
    {
        return m_window->findChild<QStatusBar *>(QStringLiteral("sb1"))
            ->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
    }

    QStringList tableTexts(int column) { return columnTexts(m_window->table(), column); }

    void clickHeader(int section)
    {
        QHeaderView *header = listProxies()->header();
        const QPoint point(header->sectionViewportPosition(section) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, point);
    }

    QString sortIndicator()
    {
        const QHeaderView *header = listProxies()->header();
        return QString::number(header->sortIndicatorSection()) +
               (header->sortIndicatorOrder() == Qt::AscendingOrder ? u" up" : u" down");
    }

private Q_SLOTS:

    void init()
    {
        m_desktop = FakeDesktop();
        m_window = std::make_unique<MainWindow>(m_desktop);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void startsAsDesigned()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Korvane"));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize()); // the layout never adapts
        QVERIFY(m_window->findChildren<QMenuBar *>().isEmpty());
        QVERIFY(!button(MainWindow::AbortCommand)->isEnabled());
        for (int i = 0; i < 2; ++i)
            QCOMPARE(sliderLabel(i)->text(), QString::number(slider(i)->value()));
        QCOMPARE(m_window->checkRun().settings().slotsPerBatch, slider(0)->value());
        QCOMPARE(m_window->checkRun().settings().timeoutSeconds, slider(1)->value());
        QCOMPARE(slider(0)->value(), 20);
        QCOMPARE(slider(1)->value(), 10);
        QCOMPARE(listProxies()->model()->rowCount(), 0);
        QCOMPARE(listProxies()->selectionModel(), m_window->table().selectionModel());

        // The status bar shows the panels' texts: captions, and counters blank until something is counted.
        QStringList texts;
        for (QLabel *panel : panels())
            texts.append(panel->text());
        QCOMPARE(texts, (QStringList{"Total Proxies:", "", "Working Proxies:", "", "Anonymous Proxies:", ""}));
        m_window->panels().setTotal(3);
        m_window->panels().updateCounters(m_window->table());
        QCOMPARE(panels()[1]->text(), QStringLiteral("3"));
        QCOMPARE(panels()[3]->text(), QStringLiteral("0"));
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
        QVERIFY(!element<QAction>(*m_window, "mProxyFilter", 3)->isEnabled());
        for (int hidden : {1, 4})
            QVERIFY(!element<QAction>(*m_window, "mProxySave", hidden)->isEnabled());
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

    void keysPressTheFocusedButton_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("running"); // Abort is enabled only during a run
        const char *names[] = {"load", "test", "filter", "save", "abort", "exit"};
        const Qt::Key letters[] = {Qt::Key_L, Qt::Key_T, Qt::Key_F, Qt::Key_S, Qt::Key_A, Qt::Key_E};
        for (int i = 0; i < MainWindow::CommandCount; ++i) {
            for (bool running : {false, true}) {
                if (running && i != MainWindow::AbortCommand)
                    continue;
                const char *when = running ? " in a run" : "";
                QTest::addRow("%s%s: Return", names[i], when) << i << int(Qt::Key_Return) << 0 << running;
                QTest::addRow("%s%s: keypad Enter", names[i], when)
                    << i << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << running;
                QTest::addRow("%s%s: Alt letter", names[i], when)
                    << i << int(letters[i]) << int(Qt::AltModifier) << running;
            }
        }
    }

    void keysPressTheFocusedButton()
    {
        QFETCH(int, index);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, running);
        QSignalSpy exit(m_window.get(), &MainWindow::exitRequested);
        if (running)
            button(MainWindow::AbortCommand)->setEnabled(true);
        button(index)->setFocus(Qt::TabFocusReason);
        const bool pressable = index != MainWindow::AbortCommand || running;
        QCOMPARE(button(index)->hasFocus(), pressable);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        // An Alt letter presses the button after a short animation; Enter at once.
        const bool aborts = index == MainWindow::AbortCommand && pressable;
        if (index < 4)
            QTRY_VERIFY(subMenu(index)->isVisible());
        QTRY_COMPARE(exit.size(), index == MainWindow::ExitCommand ? 1 : 0);
        QTRY_COMPARE(m_window->checkRun().abortRequested(), aborts);
        // Exit hands the maker's page to the desktop before the program ends.
        QCOMPARE(m_desktop.openedUrls, index == MainWindow::ExitCommand ? QList{MainWindow::MakerPage} : QList<QUrl>());
        QVERIFY(m_desktop.boxes.isEmpty());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(subMenu(i)->isVisible(), i == index);
    }

    void slidersFeedTheSettings()
    {
        slider(0)->setValue(slider(0)->maximum());
        QCOMPARE(m_window->checkRun().settings().slotsPerBatch, 200);
        QCOMPARE(sliderLabel(0)->text(), QStringLiteral("200"));
        slider(1)->setValue(slider(1)->minimum());
        QCOMPARE(m_window->checkRun().settings().timeoutSeconds, 1);
        QCOMPARE(sliderLabel(1)->text(), QStringLiteral("1"));

        slider(1)->setFocus();
        QTest::keyClick(slider(1), Qt::Key_PageUp);
        QCOMPARE(m_window->checkRun().settings().timeoutSeconds, 11);
        QTest::keyClick(slider(1), Qt::Key_Left);
        QCOMPARE(sliderLabel(1)->text(), QStringLiteral("10"));
        QCOMPARE(m_window->checkRun().settings().timeoutSeconds, 10);
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
        QCOMPARE(sortIndicator(), QStringLiteral("3 down"));
        QVERIFY(m_desktop.boxes.isEmpty());
    }

    // The look, checked on the pixels of the window as drawn offscreen.
    void looksAsDesigned()
    {
        button(MainWindow::TestCommand)->setFocus(Qt::TabFocusReason);
        const QImage image = m_window->grab().toImage();
        const QColor grey(224, 224, 224);

        // Every face flat in its colour, also the focused Test and the disabled Abort, beside the caption.
        const QColor fills[] = {{255, 192, 128}, {128, 255, 128}, {255, 255, 128},
                                {255, 128, 255}, {255, 128, 128}, {255, 192, 192}};
        for (int i = 0; i < MainWindow::CommandCount; ++i) {
            const QRect face = button(i)->geometry();
            for (const QPoint point : {QPoint(face.left() + 12, face.center().y()), face.topRight() + QPoint(-12, 8)})
                QCOMPARE(image.pixelColor(point), fills[i]);
            // The focus rectangle shows on the focused face only.
            int marked = 0;
            for (int y = face.top() + 4; y < face.bottom() - 4; ++y)
                marked += image.pixelColor(face.left() + 3, y) != fills[i];
            QCOMPARE(marked > 0, i == MainWindow::TestCommand);
        }

        // The six panels touch, from the window's left edge; each has its dark left edge at its designed x.
        const int panelLefts[] = {0, 96, 192, 288, 384, 491};
        const QList<QLabel *> panelLabels = panels();
        QCOMPARE(panelLabels.size(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(panelLabels[i]->mapTo(m_window.get(), QPoint()).x(), panelLefts[i]);
            QCOMPARE(image.pixelColor(panelLefts[i], 549).rgb(), panelLabels[i]->palette().color(QPalette::Dark).rgb());
        }

        // The frame's line runs along its top at y = 8 right of the caption; inside, the window's grey.
        auto *frame = m_window->findChild<QGroupBox *>(QStringLiteral("Frame1"));
        QCOMPARE(image.pixelColor(700, 7), grey);
        QCOMPARE(image.pixelColor(700, 8).rgb(), frame->palette().color(QPalette::Dark).rgb());
        QCOMPARE(image.pixelColor(700, 30), grey);

        // Plain sliders: no coloured fill along the groove.
        for (int i = 0; i < 2; ++i) {
            const QRect area(slider(i)->mapTo(m_window.get(), QPoint()), slider(i)->size());
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor pixel = image.pixelColor(x, area.center().y());
                QVERIFY2(pixel.red() == pixel.green() && pixel.green() == pixel.blue(), qPrintable(pixel.name()));
            }
        }

        // One face and size for every caption, and every label's text inside its box with room to spare.
        QSet<QString> fonts{fontOf(frame)};
        for (int i = 0; i < MainWindow::CommandCount; ++i)
            fonts.insert(fontOf(button(i)));
        for (QLabel *label : m_window->findChildren<QLabel *>()) {
            fonts.insert(fontOf(label));
            const int room = label->contentsRect().width() - qMax(label->indent(), 0);
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) < room, qPrintable(label->text()));
        }
        QCOMPARE(fonts, QSet<QString>{QStringLiteral("Liberation Sans 8.25")});
    }

    // Leaves a picture of the window under the build folder for a person to look at.
    void screenshot()
    {
        const QString folder = qEnvironmentVariable("KORVANE_TEST_OUTPUT", QDir::tempPath());
        QVERIFY(QDir().mkpath(folder));
        m_window->table().addRows({QStringLiteral("127.0.0.1:3128"), QStringLiteral("127.0.0.2:8080")});
        writeVerdict(m_window->table(), 1, Verdict::working(true));
        writeVerdict(m_window->table(), 2, Verdict::timeout());
        m_window->panels().setTotal(2);
        m_window->panels().updateCounters(m_window->table());
        const QImage image = m_window->grab().toImage();
        QCOMPARE(image.size() / image.devicePixelRatio(), QSize(724, 562));
        QVERIFY(image.save(folder + QStringLiteral("/mainwindow.png")));
    }
};

KORVANE_TEST(TestMainWindow)
#include "tst_mainwindow.moc"

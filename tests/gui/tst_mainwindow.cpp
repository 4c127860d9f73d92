// The window as the user meets it, with a scripted desktop and fake proxies on loopback.
#include "app/AboutPage.h"
#include "app/ClassicStyle.h"
#include "app/CountryDialog.h"
#include "app/MainWindow.h"
#include "app/ProxyTableModel.h"
#include "app/ProxyView.h"
#include "app/TargetSiteDialog.h"
#include "app/UptimeReader.h"
#include "checker/CheckRun.h"
#include "history/HistoryStore.h"
#include "location/GeoDatabase.h"
#include "proxylist/NativeName.h"
#include "tests/common/EchoServer.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/TableText.h"
#include "tests/common/TestFiles.h"
#include "tests/common/TestGeoDatabase.h"
#include "tests/gui/FakeDesktop.h"

#include <QtTest>
#include <QtWidgets>

#include <atomic>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Set, the second piece of a list read fails, as a disk's read error would.
std::atomic<bool> listReadsFail = false;
std::atomic<int> listPieces = 0;
} // namespace

// The system's read(), with the reads of a list's 4 MiB pieces failing after the first while listReadsFail is set.
extern "C" ssize_t read(int fd, void *buffer, size_t count)
{
    static const auto system = reinterpret_cast<decltype(&read)>(::dlsym(RTLD_NEXT, "read"));
    if (listReadsFail && count == size_t(4) << 20 && listPieces++ > 0) {
        errno = EIO;
        return -1;
    }
    return system(fd, buffer, count);
}

using C = MainWindow::Controls;
using Action = QAction *C::*;
// A menu item; the rows, the boxes and what was saved after it, when the input box is answered so.
using Command = std::tuple<Action, QString, QString, QString, int>;

class TestMainWindow : public QObject
{
    Q_OBJECT

    FakeDesktop m_desktop;
    std::unique_ptr<MainWindow> m_window;
    FakeProxy m_silent{FakeProxy::Silent};
    FakeProxy m_refused{FakeProxy::Refused};
    EchoServer m_echo; // every run asks it, never the default echo host
    QTemporaryDir m_folder;

    ProxyList &table() { return m_window->list(); }
    const C &controls() const { return m_window->controls(); }
    // The menu item, and the run it may have started, to its end.
    void choose(Action action) { choose(controls().*action); }
    void choose(QAction *action)
    {
        action->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->checkRun().isRunning() && !m_window->listJob().isRunning(), 20000);
    }
    // Clicks the first column's header, then tells the sort arrow and the top row.
    QString sortByClick()
    {
        QHeaderView *header = m_window->findChild<ProxyView *>()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, {9, 5});
        return QString::number(header->sortIndicatorOrder()) + ' ' + table().text(0);
    }
    // Proxy texts by letter: a to f, on loopback addresses whose port refuses connections.
    QString proxy(QChar letter) const
    {
        return QString("127.0.0.%1:%2").arg(letter.unicode() - 'a' + 1).arg(m_refused.port());
    }
    // Each row: its letter, the first letters of Status and Anonymity ('_': none), '*' if selected, its tooltip; the
    // counters.
    QString shown()
    {
        QStringList rows;
        for (int r = 0; r < table().count(); ++r) {
            const auto first = [&](int column) {
                return QString(m_window->model().index(r, column).data().toString() + '_')[0];
            };
            rows << QChar('a' + QString(table().text(r)).section('.', 3).section(':', 0, 0).toInt() - 1) + first(3) +
                        first(1) + (m_window->model().isSelected(r) ? "*" : "") +
                        m_window->model().index(r, r % 4).data(Qt::ToolTipRole).toString();
        }
        for (const QLabel *panel : {controls().totalPanel, controls().workingPanel, controls().anonymousPanel})
            rows << panel->text();
        return rows.join(' ');
    }
    // The six buttons, then the two sliders.
    QList<QWidget *> buttonsAndSliders() const
    {
        const C &c = controls();
        return {c.loadButton,  c.testButton, c.filterButton, c.saveButton,
                c.abortButton, c.exitButton, c.probesSlider, c.timeoutSlider};
    }
    // Enabled flags of the buttons and sliders; '@' and the place among them of the control with the focus.
    QString enabled()
    {
        QString flags;
        for (const QWidget *control : buttonsAndSliders())
            flags += control->isEnabled() ? '1' : '0';
        return flags + '@' + QString::number(buttonsAndSliders().indexOf(m_window->focusWidget()));
    }

private Q_SLOTS:
    // The program's own look, as its main() sets it: the pixel checks depend on it.
    void initTestCase()
    {
        QApplication::setStyle(new ClassicStyle);
        // a: DE, b: no country, c: NL, d: FR; the page Exit opens is written under the test's folder.
        GeoDatabase::setChosenPath(TestGeoDatabase::write(m_folder.filePath("geo.db")));
        qputenv("XDG_CACHE_HOME", m_folder.filePath("cache").toLocal8Bit());
    }

    void init()
    {
        m_desktop = FakeDesktop();
        m_window = std::make_unique<MainWindow>(m_desktop);
        m_window->checkRun().setEchoHosts({m_echo.host()});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    // Every menu item on rows a (working, anonymous, 120 ms), b (error), c (untested), d (working, 300 ms), a and c
    // selected; the clipboard holds e and b, the list file f and b; answer: the input box's (-1: cancelled).
    void commands_data()
    {
        QTest::addColumn<Command>("command");
        const QString filtered = "Proxy filter complete: Proxies filtered successfully.";
        const QString checked = "Proxy Checking Completed.: The proxies have been checked.";
        const auto add = [](const char *name, Action action, const char *after, const char *saved = "",
                            const QString &box = {}, int answer = -1) {
            QTest::newRow(name) << Command{action, after, saved, box, answer};
        };
        const QString asked = "ask Keep proxies by speed: Keep the proxies that answered within (milliseconds): 120 "
                              "(1-60000)";
        add("load file, replace", &C::actionLoadFileReplace, "f__ b__ 2 0 0");
        add("load file, merge", &C::actionLoadFileMerge, "aWY* bE- c__* dWN f__ 5 2 1");
        add("load clipboard, replace", &C::actionLoadClipboardReplace, "e__ b__ 2 0 0");
        add("load clipboard, merge", &C::actionLoadClipboardMerge, "aWY* bE- c__* dWN e__ 5 2 1");
        add("test all", &C::actionTestAll, "aE-* bE- cE-* dE-  0 0", "", checked);
        add("test untested", &C::actionTestUntested, "aWY* bE- cE-* dWN  2 1", "", checked);
        add("test selected", &C::actionTestSelected, "aE-* bE- cE-* dWN  1 0", "", checked);
        add("test failed", &C::actionTestFailed, "aWY* bE- c__* dWN  2 1", "", checked);
        add("keep working", &C::actionKeepWorking, "aWY* dWN  2 1", "", filtered);
        add("keep anonymous", &C::actionKeepAnonymous, "aWY*  1 1", "", filtered);
        add("keep selected", &C::actionKeepSelected, "aWY* c__*  1 1", "", filtered);
        add("keep by speed, at the median", &C::actionKeepBySpeed, "aWY*  1 1", "", asked + filtered, 120);
        add("keep by speed, one below", &C::actionKeepBySpeed, " 0 0", "", asked + filtered, 119);
        add("keep by speed, cancelled", &C::actionKeepBySpeed, "aWY* bE- c__* dWN   ", "", asked);
        add("keep by country", &C::actionKeepByCountry, "aWY* dWN  2 1", "",
            "ask countries: DE Germany 1, FR France 1, NL Netherlands 1" + filtered, 1);
        add("keep by country, cancelled", &C::actionKeepByCountry, "aWY* bE- c__* dWN   ", "",
            "ask countries: DE Germany 1, FR France 1, NL Netherlands 1");
        add("save all, clipboard", &C::actionSaveAllToClipboard, "aWY* bE- c__* dWN   ", "abcd");
        add("save all, file", &C::actionSaveAllToFile, "aWY* bE- c__* dWN   ", "abcd");
        add("save selected, clipboard", &C::actionSaveSelectedToClipboard, "aWY* bE- c__* dWN   ", "ac");
        add("save selected, file", &C::actionSaveSelectedToFile, "aWY* bE- c__* dWN   ", "ac");
    }

    void commands()
    {
        QFETCH(Command, command);
        const auto &[action, after, saved, box, answer] = command;
        const bool toFile = action == &C::actionSaveAllToFile || action == &C::actionSaveSelectedToFile;
        const bool toClipboard = action == &C::actionSaveAllToClipboard || action == &C::actionSaveSelectedToClipboard;
        table().addRows({proxy('a'), proxy('b'), proxy('c'), proxy('d')});
        table().apply(0, {ProxyResult::working(true, 120)});
        table().apply(1, {ProxyResult::failed(ProxyStatus::Error)});
        table().apply(3, {ProxyResult::working(false, 300)});
        for (const int r : {0, 2})
            m_window->model().selectionModel()->select(m_window->model().index(r, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString clipboard = proxy('e') + "\r\n" + proxy('b') + "\r\n";
        m_desktop.clipboard = clipboard;
        const QString list = writeFile(m_folder.filePath("list.txt"), (proxy('f') + '\n' + proxy('b')).toLatin1());
        const QString output = m_folder.filePath("saved.txt");
        QFile::remove(output);
        m_desktop.fileAnswers = {toFile ? output : list};
        m_desktop.integerAnswers = {answer < 0 ? std::nullopt : std::optional(answer)};
        if (answer > 0)
            m_desktop.countryAnswer = QStringList{"FR", "DE"};
        controls().timeoutSlider->setValue(1);
        choose(action);
        QCOMPARE(shown(), after);
        QCOMPARE(m_desktop.boxes.join(""), box);
        QString written;
        for (const QChar letter : saved)
            written += proxy(letter) + "\r\n";
        QCOMPARE(m_desktop.clipboard, toClipboard ? written : clipboard);
        QCOMPARE(readFile(output), toFile ? written.toLatin1() : "<none>");
    }

    void keysPressTheFocusedButton_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        for (const char *keys : {"Return", "Num+Enter", "Space", "Alt+S"})
            QTest::newRow(keys) << QKeySequence(keys);
    }

    // Six tabs from the table, where the focus starts, reach Save; its menu pops up right under it.
    void keysPressTheFocusedButton()
    {
        QFETCH(QKeySequence, keys);
        for (int tab = 0; tab < 6; ++tab)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keySequence(QApplication::focusWidget(), keys);
        QTRY_COMPARE(controls().saveMenu->pos(),
                     m_window->mapToGlobal(controls().saveButton->geometry().bottomLeft() + QPoint(0, 1)));
    }

    // The sliders set a batch's size and wait, their labels show them; a run locks the commands and refuses sorting.
    // One echo host of two is dead: the run goes on, and says so; b leaves from another address than the user's.
    void runLocksTheWindowAndRefusesSorting()
    {
        const FakeProxy working(FakeProxy::EchoOtherAddress, QHostAddress("127.0.0.2"));
        m_window->checkRun().setEchoHosts({proxy('a'), m_echo.host()});
        table().addRows({m_silent.row(), "127.0.0.10:1", "127.0.0.9:1", working.row()}); // the silent one holds it
        QCOMPARE(sortByClick(), "1 127.0.0.9:1"); // the first click sorts descending
        QCOMPARE(sortByClick(), "0 127.0.0.10:1");
        // A fresh window offers 1 to 200 threads from 20 and 1 to 60 seconds from 10, and its run starts with those.
        const auto range = [](const QSlider *s) { return QList<int>{s->minimum(), s->maximum(), s->value()}; };
        QCOMPARE(range(controls().probesSlider) + range(controls().timeoutSlider), QList<int>({1, 200, 20, 1, 60, 10}));
        QCOMPARE(controls().probesLabel->text() + controls().timeoutLabel->text(), "2010");
        QCOMPARE(m_window->checkRun().settings().timeout.count(), 10000);
        // Retries stay as chosen while the sliders move.
        controls().retriesMenu->actions().at(2)->trigger();
        controls().probesSlider->setValue(2);
        controls().timeoutSlider->setValue(1);
        QCOMPARE(controls().probesLabel->text() + controls().timeoutLabel->text(), "21");
        QCOMPARE(m_window->checkRun().settings().retries, 2);
        controls().retriesMenu->actions().at(0)->trigger();
        // Once j is refused, while the silent one holds the first batch, the window is looked at and sorted; once the
        // last batch is handed out, Enter presses Abort, which has no batch left to spare, and never Exit. Each in
        // the event loop's next turn, as a user's input comes.
        QString during;
        connect(&table(), &ProxyList::resultsChanged, this, [&](int row) {
            const ProxyStatus status = table().result(row).status;
            if (row == 0 && status == ProxyStatus::Error)
                QTimer::singleShot(0, m_window.get(), [&] {
                    during = shown().left(12) + enabled();
                    during += ' ' + sortByClick(); // after: the click takes the focus
                });
            if (row == 3 && status == ProxyStatus::Checking)
                QTimer::singleShot(0, m_window.get(),
                                   [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); });
        });
        QElapsedTimer run;
        run.start();
        controls().testButton->setFocus(); // as when Test was pressed to choose the run
        choose(&C::actionTestAll);
        QVERIFY(run.elapsed() >= 2000 && run.elapsed() < 4000); // two batches
        QCOMPARE(during + ' ' + enabled(), "jE- aC_ b__ 00001100@4 0 127.0.0.10:1 11110111@1");
        QCOMPARE(m_desktop.boxes,
                 QStringList({"warning Can't sort list: You can not sort list while testing proxies.",
                              "Proxy Checking Completed.: The proxies have been checked.\n\nThese echo "
                              "hosts did not answer, and the proxies were tested without them:\n" +
                                  proxy('a') + ": the connection was refused"}));
        QCOMPARE(sortByClick(), "1 127.0.0.9:1");
        QCOMPARE(shown(), "iE- bWYSeen as 127.0.0.44 aT- jE-  1 1");
    }

    // Loads run off the window's thread. A merge from a pipe that delivers slowly: the window answers, locked as
    // during a run (a header click is refused), the table as it was and a progress bar after half a second; Abort
    // keeps the table. Read to its end, the pipe merges; a replace whose read fails part-way keeps the table.
    void loadsLeaveTheWindowFree()
    {
        table().addRows({proxy('a'), proxy('b')});
        table().apply(0, {ProxyResult::working(false)});
        choose(&C::actionLoadFileReplace); // cancelled: the counters are shown
        const QByteArray pipe = QFile::encodeName(m_folder.filePath("pipe"));
        QVERIFY(::mkfifo(pipe, 0600) == 0);
        m_desktop.fileAnswers = {pipe, pipe};
        const QWidget *progress = m_window->findChild<QProgressBar *>("loadProgress");
        QString during;
        for (const bool abort : {true, false}) {
            controls().actionLoadFileMerge->trigger();
            int writer = -1;
            QTRY_VERIFY(writer >= 0 || (writer = ::open(pipe, O_WRONLY | O_NONBLOCK)) >= 0); // once the load opened it
            const QByteArray line = proxy('c').toLatin1() + '\n';
            QVERIFY(::write(writer, line, size_t(line.size())) == line.size());
            QTRY_VERIFY(progress->isVisible());
            during += shown() + ' ' + enabled() + ' ';
            during += sortByClick() + ' ';
            if (abort)
                QTest::mouseClick(controls().abortButton, Qt::LeftButton);
            ::close(writer);
            QTRY_VERIFY2(!m_window->listJob().isRunning(), qPrintable(during));
            during += shown() + ' ' + enabled() + QString::number(progress->isVisible()) + ' ';
        }
        // An aborted load leaves even the total as it was: blank, as no load has ended yet.
        const QString before = "aWN b__  1 0 ",
                      locked = before + "00001100@4 0 127.0.0.1:" + QString::number(m_refused.port());
        QCOMPARE(during, locked + ' ' + before + "11110111@10 " + locked + " aWN b__ c__ 3 1 0 11110111@10 ");
        QCOMPARE(m_desktop.boxes,
                 QStringList(2, "warning Can't sort list: You can not sort list while testing proxies."));
        const QString large =
            writeFile(m_folder.filePath("large.txt"), (proxy('d') + '\n').toLatin1().repeated(300000));
        m_desktop.fileAnswers = {large};
        listPieces = 0;
        listReadsFail = true;
        choose(&C::actionLoadFileReplace);
        listReadsFail = false;
        QCOMPARE(listPieces.load(), 2);
        QCOMPARE(shown(), "aWN b__ c__ 3 1 0");
    }

    void runEndsWithTheProgram_data()
    {
        QTest::addColumn<int>("how");
        for (int how = 0; how < 4; ++how)
            QTest::newRow(std::array{"Exit", "window closed", "window deleted", "Abort, echo host silent"}[size_t(how)])
                << how;
    }

    // In a 30-second batch, or while the echo host is asked: the run stops at once, without its message.
    void runEndsWithTheProgram()
    {
        QFETCH(int, how);
        table().addRows({m_silent.row()});
        table().apply(0, {ProxyResult::working(false)});
        m_window->checkRun().setEchoHosts({how == 3 ? m_silent.row() : m_echo.host()});
        m_window->checkRun().setSettings({20, std::chrono::seconds(30)});
        const QPointer<MainWindow> window = m_window.get();
        const std::function<void()> ends[] = {[&] { QTest::mouseClick(controls().exitButton, Qt::LeftButton); },
                                              [&] { m_window->close(); }, [&] { m_window.release()->deleteLater(); },
                                              [&] { QTest::mouseClick(controls().abortButton, Qt::LeftButton); }};
        const qsizetype asked = m_silent.requests().size();
        controls().actionTestAll->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(
            how == 3 ? m_silent.requests().size() > asked : table().result(0).status == ProxyStatus::Checking, 10000);
        ends[how]();
        QTRY_VERIFY_WITH_TIMEOUT(!window || !window->checkRun().isRunning(), 10000);
        QCOMPARE(m_desktop.boxes, QStringList());
        if (how == 3) // no row changed, and Test has the focus again
            QCOMPARE(shown() + ' ' + enabled(), "aWN  1 0 11110111@1");
        // Exit opens the page shipped with the program, never a web address.
        QCOMPARE(m_desktop.urls.size(), how == 0 ? 1 : 0);
        QVERIFY(m_desktop.urls.value(0, QUrl::fromLocalFile("/")).isLocalFile());
    }

    // Installed, the page is under share/korvane beside bin/; in a build folder, the copy beside the program wins.
    void aboutPageShipsWithTheProgram()
    {
        const QDir root(m_folder.path());
        const auto page = [&root] { return AboutPage::url(root.filePath("bin")).toLocalFile(); };
        QVERIFY(root.mkpath("bin") && root.mkpath("share/korvane"));
        QCOMPARE(page(), root.filePath("share/korvane/korvane.html"));
        QVERIFY(QFile(root.filePath("bin/korvane.html")).open(QIODevice::WriteOnly));
        QCOMPARE(page(), root.filePath("bin/korvane.html"));
        // Exit's copy holds the location database's line; a folder it cannot write leaves the page as shipped.
        writeFile(root.filePath("bin/korvane.html"), "<p>a</p><!--location-database-->");
        const QUrl shipped = AboutPage::url(root.filePath("bin"));
        const QUrl copy = AboutPage::withDatabaseLine(shipped, "database <of> 2026", root.filePath("cache"));
        QCOMPARE(readFile(copy.toLocalFile()), "<p>a</p><p>database &lt;of&gt; 2026</p>");
        QCOMPARE(AboutPage::withDatabaseLine(shipped, "x", "/proc/korvane"), shipped);
    }

    // The Uptime column reads the history of checks off the window's thread once rows come: the share of checks
    // working and its tooltip; rows the history never saw sort last; its filter keeps the rows up that often.
    void uptimeFromTheHistory()
    {
        const QString path = m_folder.filePath("history.sqlite");
        HistoryStore store(path);
        const qint64 at = QDateTime::currentMSecsSinceEpoch();
        std::vector<CheckRecord> records;
        records.reserve(4);
        for (int i = 0; i < 4; ++i)
            records.push_back({proxy('b').toLatin1(), at + i,
                               i ? ProxyResult::working(false) : ProxyResult::failed(ProxyStatus::Error)});
        QVERIFY(store.open().isEmpty() && store.write(records).isEmpty());
        m_window->setHistory(nullptr, path);
        QSignalSpy read(&m_window->uptimes(), &UptimeReader::read);
        table().addRows({proxy('a'), proxy('b')});
        QTRY_COMPARE(read.size(), 1);
        const QModelIndex uptime = m_window->model().index(1, int(ListColumn::Uptime));
        QCOMPARE(uptime.data().toString() + m_window->model().index(0, int(ListColumn::Uptime)).data().toString(),
                 "75%");
        QVERIFY(uptime.data(Qt::ToolTipRole).toString().startsWith("Working in 3 of the last 4 checks (4 in all)"));
        m_window->model().sort(int(ListColumn::Uptime), Qt::AscendingOrder);
        QCOMPARE(table().text(0), proxy('b'));
        m_desktop.integerAnswers = {75};
        choose(&C::actionKeepByUptime);
        QCOMPARE(table().count(), 1);
        // A list loaded in place of the table is read anew.
        ProxyRows loaded;
        loaded.append(proxy('b').toLatin1());
        table().replaceRows(std::move(loaded));
        QTRY_COMPARE(read.size(), 2);
        QCOMPARE(m_window->model().index(0, int(ListColumn::Uptime)).data().toString(), "75%");
    }

    // The box offers each country with its name (its code when it has none) and rows; OK waits for a tick.
    void countryDialog()
    {
        CountryDialog dialog({{"DE", "Germany", 12}, {"NL", "", 3}});
        auto *countries = dialog.findChild<QListWidget *>("countries");
        const QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QCOMPARE(countries->item(0)->text() + '|' + countries->item(1)->text(), "DE  Germany (12)|NL  NL (3)");
        QVERIFY(!ok->isEnabled());
        countries->item(1)->setCheckState(Qt::Checked);
        countries->item(0)->setCheckState(Qt::Checked);
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.chosen(), QStringList({"DE", "NL"}));
    }

    // The Country cell: its code or "-", and the name, network and flags in its tooltip. Without a database the
    // status bar says why, and the filter by country says so rather than offering nothing.
    void countryColumnAndNote()
    {
        table().addRows({proxy('a'), proxy('b'), proxy('c')});
        QString cells;
        for (int r = 0; r < 3; ++r) {
            const QModelIndex cell = m_window->model().index(r, int(ListColumn::Country));
            cells += cell.data().toString() + ' ' + cell.data(Qt::ToolTipRole).toString() + '|';
        }
        QCOMPARE(cells, "DE Germany\nAS64500 Test Net One|- AS64504\nanonymous proxy|"
                        "NL Netherlands\nAS64501 Test Net Three\nanycast|");
        QCOMPARE(controls().locationPanel->toolTip(), "");
        const QString chosen = GeoDatabase::chosenPath();
        GeoDatabase::setChosenPath(m_folder.filePath("missing.db"));
        MainWindow without(m_desktop);
        without.list().addRows({proxy('a')});
        without.controls().actionKeepByCountry->trigger();
        GeoDatabase::setChosenPath(chosen);
        QVERIFY(without.controls().locationPanel->toolTip().startsWith("no location database"));
        QVERIFY(m_desktop.boxes.join("").startsWith("Keep proxies by country: no location database"));
        QCOMPARE(without.list().count(), 1);
    }

    void removalsKeepWhatTheUserSees_data()
    {
        QTest::addColumn<int>("rule"); // a filter item, or -1 for a merge that drops the table's own duplicates
        for (int rule = -1; rule <= 2; ++rule)
            QTest::addRow("%d", rule) << rule;
    }

    // Row 48 on top; odd rows work, every other one anonymously, every fourth repeats the one before for the merge.
    void removalsKeepWhatTheUserSees()
    {
        QFETCH(int, rule);
        const auto selected = [](int r) { return (r >= 10 && r <= 20) || (r >= 50 && r <= 100); };
        const auto kept = [&](int r) { return rule < 0 ? r % 4 : !rule ? r % 2 : rule < 2 ? r % 4 == 1 : selected(r); };
        QString expected, shown;
        for (int r = 1; r <= 200; ++r) {
            table().addRows({QString("127.0.0.%1:80").arg(rule < 0 && r % 4 == 0 ? r - 1 : r)});
            table().apply(r - 1, {r % 2 ? ProxyResult::working(r % 4 == 1) : ProxyResult::failed(ProxyStatus::Error)});
            if (selected(r))
                m_window->model().selectionModel()->select(m_window->model().index(r - 1, 0),
                                                           QItemSelectionModel::Select);
            expected += kept(r) ? (selected(r) ? "S" : "-") : "";
        }
        m_window->findChild<ProxyView *>()->scrollTo(m_window->model().index(47, 0), QAbstractItemView::PositionAtTop);
        m_desktop.clipboard = "127.0.0.5:80";
        const std::array commands{&C::actionLoadClipboardMerge, &C::actionKeepWorking, &C::actionKeepAnonymous,
                                  &C::actionKeepSelected};
        choose(commands.at(size_t(rule) + 1));
        for (int r = 0; r < table().count(); ++r)
            shown += m_window->model().isSelected(r) ? "S" : "-";
        QCOMPARE(shown, expected);
        int top = 48;
        while (!kept(top))
            ++top;
        QCOMPARE(table().text(m_window->findChild<ProxyView *>()->indexAt({1, 1}).row()),
                 QString("127.0.0.%1:80").arg(top));
    }

    // Clicks, a drag and keys select rows in the table as users expect of one, the current row is always brought into
    // view, and a selected row is painted as one.
    void keysAndClicksSelectRows_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("current");
        const auto add = [](const char *name, int rows, const char *steps, const char *selected, int current) {
            QTest::newRow(name) << rows << QString::fromLatin1(steps) << QString::fromLatin1(selected) << current;
        };
        // Steps: c, s, t and g click, shift-click, control-click and drag to a row, G drags to a row scrolled into view
        // meanwhile, the row it started from out of it; D, S, P, E and A are Down, shift-Down, Page Down, End and
        // control-A; b clicks under the last row. A current row of -1 is a page down.
        QStringList dragged;
        for (int r = 2; r <= 60; ++r)
            dragged << QString::number(r);
        add("click", 100, "c2", "2", 2);
        add("shift click", 100, "c1 s3", "1 2 3", 3);
        add("control click", 100, "c1 t4", "1 4", 4);
        add("drag", 100, "c6 g2", "2 3 4 5 6", 2);
        add("drag while the view scrolls", 100, "c2 G60", qPrintable(dragged.join(' ')), 60);
        add("down", 100, "c1 D D", "3", 3);
        add("shift down", 100, "c1 S S", "1 2 3", 3);
        add("page down", 100, "c0 P", "page", -1);
        add("end", 100, "c5 E", "99", 99);
        add("select all", 3, "c1 A", "0 1 2", 1);
        add("click under the rows", 3, "c1 b", "", 1);
    }

    void keysAndClicksSelectRows()
    {
        QFETCH(int, rows);
        QFETCH(QString, steps);
        QFETCH(QString, selected);
        QFETCH(int, current);
        for (int r = 0; r < rows; ++r)
            table().addRows({QString("127.0.0.%1:80").arg(r)});
        QApplication::processEvents();
        auto *view = m_window->findChild<ProxyView *>();
        QWidget *viewport = view->viewport();
        const auto at = [&](int row) { return view->visualRect(m_window->model().index(row, 0)).center(); };
        const int page = viewport->height() / view->visualRect(m_window->model().index(0, 0)).height();
        for (const QString &step : steps.split(' ')) {
            const int row = step.mid(1).toInt();
            const QChar what = step.at(0);
            if (what == 'c' || what == 's' || what == 't')
                QTest::mouseClick(viewport, Qt::LeftButton,
                                  what == 's'   ? Qt::ShiftModifier
                                  : what == 't' ? Qt::ControlModifier
                                                : Qt::NoModifier,
                                  at(row));
            else if (what == 'g' || what == 'G') {
                QTest::mousePress(viewport, Qt::LeftButton, {}, at(view->currentIndex().row()));
                if (what == 'G')
                    view->verticalScrollBar()->setValue(row - 5);
                QMouseEvent move(QEvent::MouseMove, at(row), viewport->mapToGlobal(at(row)), Qt::NoButton,
                                 Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(viewport, &move);
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, at(row));
            } else if (what == 'b')
                QTest::mouseClick(viewport, Qt::LeftButton, {}, {5, viewport->height() - 2});
            else
                QTest::keyClick(view,
                                what == 'P'   ? Qt::Key_PageDown
                                : what == 'E' ? Qt::Key_End
                                : what == 'A' ? Qt::Key_A
                                              : Qt::Key_Down,
                                what == 'S'   ? Qt::ShiftModifier
                                : what == 'A' ? Qt::ControlModifier
                                              : Qt::NoModifier);
        }
        current = current < 0 ? page : current;
        QStringList shown;
        for (int r = 0; r < rows; ++r) {
            if (m_window->model().isSelected(r))
                shown << QString::number(r);
        }
        QCOMPARE(shown.join(' '), selected == "page" ? QString::number(page) : selected);
        QCOMPARE(view->currentIndex().row(), current);
        QVERIFY(viewport->rect().contains(at(current)));
        const QImage painted = viewport->grab().toImage();
        const QPalette::ColorRole colour = m_window->model().isSelected(current) ? QPalette::Highlight : QPalette::Base;
        QCOMPARE(painted.pixelColor(view->visualRect(m_window->model().index(current, 0)).left() + 2, at(current).y()),
                 view->palette().color(colour));
    }

    // A cancelled and an unreadable load keep the rows and their results, yet recount them; a failed save says why;
    // a test whose echo host is dead changes no row and says why, unless it has no row to test.
    void failedFileCommandsKeepTheTable()
    {
        table().addRows({"127.0.0.1:1", "127.0.0.2:2"});
        table().apply(1, {ProxyResult::working(false)});
        choose(&C::actionLoadFileReplace); // cancelled
        QCOMPARE(shown(), "a__ bWN  1 0");
        m_desktop.integerAnswers = {1}; // never asked: no row has a time to keep by
        choose(&C::actionKeepBySpeed);
        table().apply(1, {ProxyResult::working(true)});
        m_desktop.fileAnswers = {m_folder.path(), m_folder.path()};
        choose(&C::actionLoadFileReplace);
        choose(&C::actionSaveAllToFile);
        m_window->checkRun().setEchoHosts({proxy('a')});
        choose(&C::actionTestSelected); // nothing selected: nothing to test, no echo host asked
        choose(&C::actionTestAll);
        QCOMPARE(shown() + ' ' + enabled() + m_desktop.boxes.join(""),
                 "a__ bWY  1 1 11110111@1Keep proxies by speed: No proxy has a time yet.warning Can't save proxies: "
                 "The proxies could not be saved to \"" +
                     m_folder.path() +
                     "\".\n\nIt is a folder, not a file.Proxy Checking Completed.: The proxies have been checked."
                     "warning Proxy Checking Not Started.: No echo "
                     "host answered:\n" +
                     proxy('a') + ": the connection was refused\n\nNo proxy was tested.");
        // korvane FILE...: merged in order, an unreadable one named, a name need not be UTF-8; none, no recount.
        const QByteArray name = QFile::encodeName(m_folder.path()) + "/lat\xe9.txt";
        const int list = ::open(name, O_WRONLY | O_CREAT, 0600);
        QVERIFY(::write(list, "127.0.0.3:3\n127.0.0.2:2\n", 24) == 24 && ::close(list) == 0);
        table().apply(0, {ProxyResult::working(false)});
        QCOMPARE(m_window->mergeFiles({}), QStringList());
        QCOMPARE(shown(), "aWN bWY  1 1");
        QCOMPARE(m_window->mergeFiles({NativeName::decode(name), NativeName::decode(QByteArray(name + "\xff"))}),
                 QStringList(m_folder.path() + "/lat\\xE9.txt\\xFF: The file does not exist."));
        ::unlink(name.constData()); // a name QTemporaryDir could not remove
        QCOMPARE(shown(), "aWN bWY c__ 3 2 1");
        // The only echo host stops once asked: the proxies that reach it find it gone, and the run says so.
        EchoServer dying(false, true);
        const QString host = dying.host();
        const FakeProxy relay(FakeProxy::ForwardsAddingXff);
        m_window->checkRun().setEchoHosts({host});
        for (int i = 0; i < 20; ++i)
            table().addRows({relay.row() + ':' + QString::number(i)});
        controls().timeoutSlider->setValue(1);
        choose(&C::actionTestAll);
        QVERIFY2(m_desktop.boxes.last().contains("Every echo host stopped answering during the check:\n" + host +
                                                 ": the connection was refused"),
                 qPrintable(m_desktop.boxes.last()));
    }

    // Rows go to the clipboard as text (UTF-8 as its characters, another byte as its own) and come back as UTF-8:
    // the UTF-8 row is saved as it was read.
    void clipboardHoldsText()
    {
        const QByteArray cafe = "socks5://caf\xc3\xa9:pw@127.0.0.1:1\r\n";
        const QString saved = m_folder.filePath("text.txt");
        table().addRows({QString::fromLatin1(cafe.chopped(2)), "127.0.0.2:2:\u00e9"}); // the byte 0xe9
        choose(&C::actionSaveAllToClipboard);
        QCOMPARE(m_desktop.clipboard, "socks5://caf\u00e9:pw@127.0.0.1:1\r\n127.0.0.2:2:\u00e9\r\n");
        choose(&C::actionLoadClipboardReplace);
        m_desktop.fileAnswers = {saved};
        choose(&C::actionSaveAllToFile);
        QCOMPARE(readFile(saved), cafe + "127.0.0.2:2:\xc3\xa9\r\n");
    }

    void looksAsDesigned()
    {
        const QImage image = m_window->grab().toImage();
        const QRgb faces[] = {0xffc080, 0x80ff80, 0xffff80, 0xff80ff, 0xff8080, 0xffc0c0};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(image.pixel(buttonsAndSliders()[i]->geometry().topLeft() + QPoint(12, 8)) & 0xffffffu, faces[i]);
        QList<int> panels; // the left edge and width of each, touching from the window's left edge
        for (QLabel *panel : m_window->findChild<QStatusBar *>()->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
            panels << panel->mapTo(m_window.get(), QPoint()).x() << panel->width();
        QCOMPARE(panels, QList<int>({0, 96, 96, 96, 192, 96, 288, 96, 384, 107, 491, 96, 587, 137}));
        for (QWidget *w : m_window->findChildren<QWidget *>())
            if (qobject_cast<QLabel *>(w) || qobject_cast<QPushButton *>(w) || qobject_cast<QGroupBox *>(w))
                QCOMPARE(w->fontInfo().family() + QString::number(w->fontInfo().pointSizeF()), "Liberation Sans8.25");
    }

    // "Bare Rows As" in the Test menu: one choice at a time, HTTP at start, kept for every run until changed. The
    // SOCKS 4 proxy never answers an HTTP request.
    void bareRowsAs()
    {
        const FakeProxy socks4(FakeProxy::Socks4Echo);
        table().addRows({socks4.row()});
        controls().timeoutSlider->setValue(1);
        QString seen = controls().bareRowsMenu->title();
        for (const QAction *choice : controls().bareRowsMenu->actions())
            seen += ", " + choice->text();
        // Each time: the row's status and the choice checked.
        QAction *const testAll = controls().actionTestAll;
        for (QAction *action :
             {testAll, controls().bareRowsActions[size_t(ProxyAddress::Protocol::Socks4)], testAll, testAll}) {
            choose(action);
            seen += ' ' + shown().left(2) + ':';
            for (const QAction *choice : controls().bareRowsMenu->actions())
                seen += choice->isChecked() ? choice->text() : "";
        }
        QVERIFY(controls().testMenu->actions().contains(controls().bareRowsMenu->menuAction()));
        QCOMPARE(seen, "Bare Rows As, HTTP, HTTPS tunnel, SOCKS 4, SOCKS 5 aT:HTTP aT:SOCKS 4 aW:SOCKS 4 aW:SOCKS 4");
    }

    // "Target Site...": set, the Site column shows each verdict's words, colour and details, sorts, and its filter
    // keeps the rows that reached the site; cancelled or refused, nothing changes; emptied, all is as before.
    void targetSite()
    {
        QHeaderView *header = m_window->findChild<ProxyView *>()->header();
        const int site = int(ListColumn::Site);
        const auto state = [&]() -> QString {
            return QString(" |%1%2 ").arg(header->isSectionHidden(site) ? "hidden" : "shown",
                                          controls().actionKeepReachingSite->isEnabled() ? "+keep" : "") +
                   m_window->checkRun().site().value_or(SiteCheck()).url;
        };
        table().addRows({proxy('a'), proxy('b'), proxy('c'), proxy('d')});
        table().apply(0, {ProxyResult::working(false), {}, SiteVerdict{SiteStatus::Ok, 200, {}, 123}});
        table().apply(
            1, {ProxyResult::working(false), {}, SiteVerdict{SiteStatus::Refused, 302, "https://host/login", 40}});
        table().apply(2, {ProxyResult::working(false), {}, SiteVerdict{SiteStatus::TlsFailed, 0, "unknown issuer"}});
        QCOMPARE(controls().testMenu->actions().value(5)->text() + ", " +
                     controls().filterMenu->actions().value(4)->text(),
                 "Target Site..., Keep proxies that reach the site");
        m_desktop.siteAnswers = {SiteAnswer{"http://127.0.0.1:1/x", "welcome", "200,204"}, std::nullopt,
                                 SiteAnswer{"ftp://x", {}, {}}};
        QString states = state();
        for (int i = 0; i < 3; ++i) { // set, cancelled, refused
            choose(controls().actionTargetSite);
            states += state();
        }
        const QString set = " |shown+keep http://127.0.0.1:1/x";
        QCOMPARE(states, " |hidden " + set + set + set);
        QCOMPARE(m_desktop.boxes.join('|'), "ask site: |ask site: http://127.0.0.1:1/x|ask site: http://127.0.0.1:1/x|"
                                            "warning Can't set the site: the site's address must begin http:// or "
                                            "https://, not ftp://");
        const SiteCheck &checked = *m_window->checkRun().site();
        QVERIFY(checked.texts == QList<QByteArray>{"welcome"} && checked.expects(204) && !checked.expects(201) &&
                m_window->model().headerData(site, Qt::Horizontal).toString() == "Site");
        QString cells;
        for (int r = 0; r < 4; ++r) {
            const QModelIndex cell = m_window->model().index(r, site);
            cells += cell.data().toString() + ' ' +
                     QString::number(cell.data(ProxyTableModel::RowColorRole).toUInt(), 16) + ' ' +
                     cell.data(Qt::ToolTipRole).toString() + '|';
        }
        QCOMPARE(cells, "Site OK ff00 Site OK in 123 ms|Site Refused ff0000 Site Refused in 40 ms\n302 \u2192 "
                        "https://host/login|TLS Failed ff0000 TLS Failed\nunknown issuer| 0 |");
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, {header->sectionViewportPosition(site) + 9, 5});
        QCOMPARE(columnTexts(table(), site), QStringList({"TLS Failed", "Site Refused", "Site OK", ""}));
        m_desktop.boxes.clear();
        choose(controls().actionKeepReachingSite);
        QCOMPARE(shown() + m_desktop.boxes.join(""), "aWN  1 0Proxy filter complete: Proxies filtered successfully.");
        m_desktop.siteAnswers = {SiteAnswer{"", "welcome", "200"}};
        choose(controls().actionTargetSite);
        QCOMPARE(state(), " |hidden ");
    }

    void targetSiteDialog_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("problem"); // the start of the reason the box shows; empty when OK is enabled
        const auto add = [](const char *name, const char *url, const char *status, const char *problem) {
            QTest::newRow(name) << QString(url) << QString(status) << QString(problem);
        };
        add("ftp", "ftp://x", "", "the site's address must begin http:// or https://, not ftp://");
        add("no host", "http://", "", "the site's address names no host");
        add("none", "", "", "");
        add("status", "http://127.0.0.1/", "200-299,304", "");
        add("bad status", "http://127.0.0.1/", "2xx", "the expected status must be");
    }

    // Checked as typed, never shown: OK is enabled exactly when the answer is usable, and it is handed back as typed.
    void targetSiteDialog()
    {
        QFETCH(QString, url);
        QFETCH(QString, status);
        QFETCH(QString, problem);
        TargetSiteDialog dialog({"ftp://offered", "text", status});
        QVERIFY(!dialog.canAccept());
        auto *field = dialog.findChild<QLineEdit *>("url");
        field->clear();
        QTest::keyClicks(field, url);
        const QString shown = dialog.findChild<QLabel *>("problem")->text();
        QCOMPARE(dialog.canAccept(), problem.isEmpty());
        QCOMPARE(shown.left(problem.isEmpty() ? -1 : problem.size()), problem);
        QCOMPARE(dialog.answer().url + dialog.answer().expectedText + dialog.answer().expectedStatus,
                 url + "text" + status);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

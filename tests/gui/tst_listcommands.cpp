// The load, save and filter menu items, driven through the real window with a scripted desktop.
#include "app/MainWindow.h"
#include "proxylist/CellText.h"
#include "proxylist/ProxyColor.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"
#include "tests/common/TableText.h"
#include "tests/common/TestMain.h"
#include "tests/gui/ControlArray.h"
#include "tests/gui/FakeDesktop.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;

class TestListCommands : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeDesktop> m_desktop;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QTemporaryDir> m_folder;

    ProxyTableModel &table() { return m_window->table(); }
    QString panel(int n) { return m_window->panels().text(n); }
    QStringList counters()
    {
        return {panel(StatusPanels::Total), panel(StatusPanels::Working), panel(StatusPanels::Anonymous)};
    }

    QStringList texts() { return columnTexts(table()); }

    QAction *item(const char *menu, int index) { return element<QAction>(*m_window, menu, index); }

    // Chooses a menu item as the user would; only an enabled item can be chosen.
    bool choose(const char *menu, int index)
    {
        QAction *action = item(menu, index);
        if (!action || !action->isEnabled())
            return false;
        action->trigger();
        return true;
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_folder->filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    QStringList files() { return QDir(m_folder->path()).entryList(QDir::Files); }

    void checkOnlyBox(const QString &kind, const QString &title, const QString &mentioning)
    {
        QCOMPARE(m_desktop->boxes.size(), 1);
        QCOMPARE(m_desktop->boxes[0].kind, kind);
        QCOMPARE(m_desktop->boxes[0].title, title);
        QVERIFY(m_desktop->boxes[0].text.contains(mentioning));
        m_desktop->boxes.clear();
    }

    // Three rows from a file; the second tested working and anonymous, the third timed out.
    void loadTestedList()
    {
        m_desktop->openAnswers = {writeFile(u"list.txt"_s, "1.1.1.1:1\r\n2.2.2.2:2\r\n3.3.3.3:3\r\n")};
        QVERIFY(choose("mProxyLoad", 0));
        table().setSubItem(2, ProxyTableModel::Status, CellText::Working);
        table().setSubItem(2, ProxyTableModel::Anonymity, CellText::Anonymous);
        table().setProxyColor(2, ProxyColor::Green);
        table().setSubItem(3, ProxyTableModel::Status, CellText::Timeout);
        m_window->panels().updateCounters(table());
        QCOMPARE(counters(), (QStringList{u"3"_s, u"1"_s, u"1"_s}));
    }

    QTreeView *view() { return m_window->findChild<QTreeView *>(u"ListProxies"_s); }
    QString textAt(const QModelIndex &index) { return index.isValid() ? table().itemText(index.row() + 1) : u"-"_s; }

    void selectRow(int row)
    {
        table().selectionModel()->select(table().index(row - 1, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

private Q_SLOTS:
    void init();
    void cleanup();
    void loads();
    void clipboardRoundTrip();
    void saves();
    void filters();
    void filterEmptyTable();
    void removalsKeepWhatTheUserSees_data();
    void removalsKeepWhatTheUserSees();
};

void TestListCommands::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_desktop = std::make_unique<FakeDesktop>();
    m_window = std::make_unique<MainWindow>(*m_desktop);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestListCommands::cleanup()
{
    m_window.reset();
    m_desktop.reset();
}

void TestListCommands::loads()
{
    QCOMPARE(counters(), (QStringList{QString(), QString(), QString()}));
    // A load that reads nothing still refreshes the counters: blank at start-up becomes 0; the total is not written.
    QVERIFY(choose("mProxyLoad", 0));
    QCOMPARE(counters(), (QStringList{QString(), u"0"_s, u"0"_s}));
    loadTestedList();

    m_desktop->openAnswers = {writeFile(u"more.txt"_s, "2.2.2.2:2\r\n4.4.4.4:4\r\nnot a proxy\r\n4.4.4.4:4\r\n")};
    QVERIFY(choose("mProxyLoad", 1));
    const QStringList merged{u"1.1.1.1:1"_s, u"2.2.2.2:2"_s, u"3.3.3.3:3"_s, u"4.4.4.4:4"_s};
    QCOMPARE(texts(), merged);
    QCOMPARE(table().color(2), ProxyColor::Green);
    QCOMPARE(counters(), (QStringList{u"4"_s, u"1"_s, u"1"_s}));

    // Nothing is thrown away before a file has been read: a cancel or a bad file keeps rows and results. The
    // counters are refreshed all the same.
    m_desktop->openAnswers = {};
    QVERIFY(choose("mProxyLoad", 0));
    table().setSubItem(1, ProxyTableModel::Status, CellText::Working);
    m_desktop->openAnswers = {m_folder->path()};
    QVERIFY(choose("mProxyLoad", 0));
    QCOMPARE(texts(), merged);
    QCOMPARE(table().subItem(2, ProxyTableModel::Status), CellText::Working);
    QCOMPARE(counters(), (QStringList{u"4"_s, u"2"_s, u"1"_s}));
    QVERIFY(m_desktop->boxes.isEmpty()); // a load ends silently

    m_desktop->clipboard = u"2.2.2.2:2\r\n5.5.5.5:5"_s;
    QVERIFY(choose("mProxyLoad", 3));
    QCOMPARE(texts(), merged + QStringList{u"5.5.5.5:5"_s});
    QCOMPARE(counters(), (QStringList{u"5"_s, u"2"_s, u"1"_s}));

    m_desktop->clipboard.clear();
    QVERIFY(choose("mProxyLoad", 2));
    QCOMPARE(table().count(), 0);
    QCOMPARE(counters(), (QStringList{u"0"_s, u"0"_s, u"0"_s}));
}

void TestListCommands::clipboardRoundTrip()
{
    const QString list = u" 1.1.1.1:1\r\n2.2.2.2:2:\u20ac\r\n3.3.3.3:3\r\n"_s;
    m_desktop->clipboard = list;
    QVERIFY(choose("mProxyLoad", 2));
    m_desktop->clipboard.clear();
    QVERIFY(choose("mProxySave", 0));
    QCOMPARE(m_desktop->clipboard, list);

    selectRow(3);
    selectRow(1);
    QVERIFY(choose("mProxySave", 3));
    QCOMPARE(m_desktop->clipboard, u" 1.1.1.1:1\r\n3.3.3.3:3\r\n"_s);

    // With nothing selected the clipboard is still written, with the empty text.
    table().selectionModel()->clearSelection();
    QVERIFY(choose("mProxySave", 3));
    QCOMPARE(m_desktop->clipboardWrites, 3);
    QCOMPARE(m_desktop->clipboard, QString());
}

void TestListCommands::saves()
{
    loadTestedList();
    const QString path = m_folder->filePath(u"saved.txt"_s);
    m_desktop->saveAnswers = {path};
    QVERIFY(choose("mProxySave", 2));
    QCOMPARE(readFile(path), QByteArray("1.1.1.1:1\r\n2.2.2.2:2\r\n3.3.3.3:3\r\n"));
    selectRow(2);
    m_desktop->saveAnswers = {path};
    QVERIFY(choose("mProxySave", 5));
    QCOMPARE(readFile(path), QByteArray("2.2.2.2:2\r\n"));
    QVERIFY(m_desktop->boxes.isEmpty());

    // A cancel is silent and creates nothing; a failed write is reported with the file's name.
    const QStringList before = files();
    m_desktop->saveAnswers = {};
    QVERIFY(choose("mProxySave", 2));
    QVERIFY(m_desktop->boxes.isEmpty());
    const QString unwritable = m_folder->filePath(u"no such folder/list.txt"_s);
    m_desktop->saveAnswers = {unwritable};
    QVERIFY(choose("mProxySave", 2));
    checkOnlyBox(u"warning"_s, u"Can't save proxies"_s, QDir::toNativeSeparators(unwritable));
    QCOMPARE(files(), before);

    // The two "proxy box" items are hidden and disabled, and do nothing if invoked anyway.
    for (int index : {1, 4}) {
        QVERIFY(!item("mProxySave", index)->isVisible());
        QVERIFY(!item("mProxySave", index)->isEnabled());
        m_window->saveChosen(index);
    }
    QCOMPARE(m_desktop->clipboardWrites, 0);
    QCOMPARE(files(), before);
    QCOMPARE(counters(), (QStringList{u"3"_s, u"1"_s, u"1"_s}));
}

void TestListCommands::filters()
{
    m_desktop->openAnswers = {
        writeFile(u"five.txt"_s, "1.1.1.1:1\r\n2.2.2.2:2\r\n3.3.3.3:3\r\n4.4.4.4:4\r\n5.5.5.5:5")};
    QVERIFY(choose("mProxyLoad", 0));
    for (int row : {1, 5}) {
        table().setSubItem(row, ProxyTableModel::Status, CellText::Working);
        table().setSubItem(row, ProxyTableModel::Anonymity, row == 1 ? CellText::Anonymous : CellText::NotAnonymous);
    }
    for (int row : {2, 3, 4})
        table().setSubItem(row, ProxyTableModel::Status, CellText::Error);

    QVERIFY(choose("mProxyFilter", 0));
    QCOMPARE(texts(), (QStringList{u"1.1.1.1:1"_s, u"5.5.5.5:5"_s}));
    QCOMPARE(m_desktop->boxes.size(), 1);
    QCOMPARE(m_desktop->boxes[0].kind, u"information"_s);
    QCOMPARE(m_desktop->boxes[0].title, u"Proxy filter complete"_s);
    QCOMPARE(m_desktop->boxes[0].text, u"Proxies filtered successfully."_s);
    QCOMPARE(counters(), (QStringList{u"5"_s, u"2"_s, u"1"_s}));

    QVERIFY(choose("mProxyFilter", 1));
    QCOMPARE(texts(), QStringList{u"1.1.1.1:1"_s});
    QCOMPARE(counters(), (QStringList{u"5"_s, u"1"_s, u"1"_s}));

    // "Keep proxies by speed" cannot be chosen; invoked anyway it removes nothing but still reports.
    QVERIFY(!item("mProxyFilter", 3)->isEnabled());
    m_window->filterChosen(3);
    QCOMPARE(texts(), QStringList{u"1.1.1.1:1"_s});
    QCOMPARE(m_desktop->boxes.size(), 3);

    QVERIFY(choose("mProxyFilter", 2));
    QCOMPARE(table().count(), 0);
    QCOMPARE(counters(), (QStringList{u"5"_s, u"0"_s, u"0"_s}));
}

void TestListCommands::filterEmptyTable()
{
    QVERIFY(choose("mProxyFilter", 0));
    checkOnlyBox(u"information"_s, u"Proxy filter complete"_s, u"Proxies filtered successfully."_s);
    QCOMPARE(counters(), (QStringList{QString(), u"0"_s, u"0"_s}));
}

void TestListCommands::removalsKeepWhatTheUserSees_data()
{
    QTest::addColumn<int>("rule"); // the filter item, or -1 for a merge that drops the table's own duplicates
    QTest::addColumn<int>("top");  // the row shown at the top before
    QTest::newRow("keep working") << 0 << 48;
    QTest::newRow("keep anonymous") << 1 << 50;
    QTest::newRow("keep selected") << 2 << 48;
    QTest::newRow("merge") << -1 << 48;
}

// 200 rows, taller than the view: odd rows work, anonymously unless a multiple of 3; for the merge every fourth
// row repeats the one before. Rows 10-20 and 50-100 are selected, row 61 is current, the view is scrolled down.
// The rows that stay keep their selection and the current row, and the first row on screen that stays is at the top.
void TestListCommands::removalsKeepWhatTheUserSees()
{
    QFETCH(int, rule);
    QFETCH(int, top);
    const auto duplicate = [rule](int r) { return rule < 0 && r % 4 == 0; };
    const auto selected = [](int r) { return (r >= 10 && r <= 20) || (r >= 50 && r <= 100); };
    const auto kept = [&](int r) {
        const bool keep[] = {r % 2 == 1, r % 2 == 1 && r % 3 != 0, selected(r), !duplicate(r)};
        return keep[rule < 0 ? 3 : rule];
    };
    QStringList texts;
    for (int r = 1; r <= 200; ++r)
        texts.append(u"10.0.%1.%2:80"_s.arg((r - duplicate(r)) / 100).arg((r - duplicate(r)) % 100));
    table().addRows(texts);
    for (int r = 1; r <= 200; ++r) {
        if (r % 2 == 1) {
            table().setSubItem(r, ProxyTableModel::Status, CellText::Working);
            table().setSubItem(r, ProxyTableModel::Anonymity, r % 3 ? CellText::Anonymous : CellText::NotAnonymous);
        }
        if (selected(r))
            selectRow(r);
    }
    table().selectionModel()->setCurrentIndex(table().index(60, 0), QItemSelectionModel::NoUpdate);
    view()->scrollTo(table().index(top - 1, 0), QAbstractItemView::PositionAtTop);
    QCOMPARE(textAt(view()->indexAt(QPoint(1, 1))), texts[top - 1]);

    if (rule < 0) {
        m_desktop->openAnswers = {writeFile(u"more.txt"_s, "10.0.0.5:80\r\n10.0.9.9:80\r\n")};
        QVERIFY(choose("mProxyLoad", 1));
        QCOMPARE(table().itemText(table().count()), u"10.0.9.9:80"_s);
    } else {
        QVERIFY(choose("mProxyFilter", rule));
    }

    QStringList expected;
    for (int r = 1; r <= 200; ++r) {
        if (selected(r) && kept(r))
            expected.append(texts[r - 1]);
    }
    QStringList selectedTexts;
    for (const QModelIndex &row : view()->selectionModel()->selectedRows())
        selectedTexts.append(textAt(row));
    selectedTexts.sort();
    expected.sort();
    QCOMPARE(selectedTexts, expected);
    QCOMPARE(textAt(view()->currentIndex()), texts[60]);
    while (!kept(top))
        ++top;
    QCOMPARE(textAt(view()->indexAt(QPoint(1, 1))), texts[top - 1]);
}

KORVANE_TEST(TestListCommands)
#include "tst_listcommands.moc"

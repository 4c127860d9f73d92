#include "proxylist/CellText.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"
#include "tests/common/TableText.h"
#include "tests/common/TestMain.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QSignalSpy>
#include <QTest>

class TestProxyTableModel : public QObject
{
    Q_OBJECT

private:
    static QStringList texts(const ProxyTableModel &table) { return columnTexts(table); }

    static QColor foreground(const ProxyTableModel &table, int row, int column)
    {
        return table.data(table.index(row - 1, column), Qt::ForegroundRole).value<QBrush>().color();
    }

private Q_SLOTS:
    void rowOperationsKeepTheModelConsistent()
    {
        ProxyTableModel table;
        QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&table, &QAbstractItemModel::rowsInserted);

        table.addRows({QStringLiteral(" 1.2.3.4:80"), QStringLiteral("5.6.7.8:8080"), QStringLiteral("9.9.9.9:1")});
        QCOMPARE(inserted.size(), 1); // one notification for the whole load
        table.add(QStringLiteral("10.0.0.1:3128"));
        QCOMPARE(table.count(), 4);
        QCOMPARE(table.itemText(1), QStringLiteral(" 1.2.3.4:80")); // kept exactly, blanks included
        QCOMPARE(table.subItem(4, ProxyTableModel::Status), QString());
        QVERIFY(!table.data(table.index(0, 0), Qt::ForegroundRole).isValid()); // default colour

        table.remove(2);
        QCOMPARE(texts(table), (QStringList{QStringLiteral(" 1.2.3.4:80"), QStringLiteral("9.9.9.9:1"),
                                            QStringLiteral("10.0.0.1:3128")}));
        table.remove(0);
        table.remove(4);
        QCOMPARE(table.count(), 3);

        table.clear();
        QCOMPARE(table.count(), 0);
        QCOMPARE(table.rowCount(), 0);
    }

    void tableIsReadOnlyForTheUser()
    {
        ProxyTableModel table;
        table.add(QStringLiteral("1.2.3.4:80"));
        const Qt::ItemFlags flags = table.flags(table.index(0, ProxyTableModel::StatusColumn));
        QVERIFY(flags.testFlag(Qt::ItemIsSelectable));
        QVERIFY(!flags.testFlag(Qt::ItemIsEditable));
        QCOMPARE(table.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Status"));
    }

    void subItemsAndColours()
    {
        ProxyTableModel table;
        table.addRows({QStringLiteral("1.2.3.4:80"), QStringLiteral("5.6.7.8:80")});
        QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);

        table.setSubItem(2, ProxyTableModel::Status, CellText::Working);
        table.setSubItem(2, ProxyTableModel::Anonymity, CellText::Anonymous);
        table.setSubItem(2, 0, QStringLiteral("never the item text"));
        table.setSubItem(2, 4, QStringLiteral("no such cell"));
        QCOMPARE(table.subItem(2, ProxyTableModel::Status), CellText::Working);
        QCOMPARE(table.data(table.index(1, ProxyTableModel::AnonymityColumn)).toString(), QStringLiteral("Y"));
        QCOMPARE(table.itemText(2), QStringLiteral("5.6.7.8:80"));
        QCOMPARE(table.subItem(2, 4), QString());
        QCOMPARE(changed.size(), 2);

        QVERIFY(table.setProxyColor(2, ProxyColor::Green));
        for (int column = 0; column < ProxyTableModel::ColumnCount; ++column)
            QCOMPARE(foreground(table, 2, column), QColor(0, 255, 0));
        QVERIFY(!table.data(table.index(0, 0), Qt::ForegroundRole).isValid()); // row 1 untouched
        QVERIFY(table.setProxyColor(2, ProxyColor::Red));
        QCOMPARE(foreground(table, 2, ProxyTableModel::StatusColumn), QColor(255, 0, 0));
        QVERIFY(table.setProxyColor(2, ProxyColor::Black));
        QCOMPARE(foreground(table, 2, ProxyTableModel::ProxyColumn), QColor(0, 0, 0));
        QCOMPARE(ProxyColor::toQColor(0x804020), QColor(0x20, 0x40, 0x80)); // blue * 65536 + green * 256 + red

        QVERIFY(!table.setProxyColor(0, ProxyColor::Red));
        QVERIFY(!table.setProxyColor(3, ProxyColor::Red));

        // A verdict is one change of the whole row.
        changed.clear();
        table.setResults(1, CellText::NoVerdict, CellText::NoVerdict, CellText::Timeout, ProxyColor::Red);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][1].value<QModelIndex>(), table.index(0, ProxyTableModel::StatusColumn));
        QCOMPARE(table.subItem(1, ProxyTableModel::Speed), CellText::NoVerdict);
        QCOMPARE(foreground(table, 1, ProxyTableModel::ProxyColumn), QColor(255, 0, 0));
    }

    void countersOnAnEmptyTable()
    {
        ProxyTableModel table;
        StatusPanels panels;
        QCOMPARE(panels.text(StatusPanels::Working), QString()); // blank until first counted
        QVERIFY(!table.setProxyColor(1, ProxyColor::Green));     // no such row: reported, nothing written
        panels.updateCounters(table);
        QCOMPARE(panels.text(StatusPanels::Working), QStringLiteral("0"));
        QCOMPARE(panels.text(StatusPanels::Anonymous), QStringLiteral("0"));
        QCOMPARE(panels.text(StatusPanels::Total), QString()); // only loads write the total
        QCOMPARE(panels.text(StatusPanels::TotalCaption), QStringLiteral("Total Proxies:"));
        QCOMPARE(panels.text(StatusPanels::WorkingCaption), QStringLiteral("Working Proxies:"));
        QCOMPARE(panels.text(StatusPanels::AnonymousCaption), QStringLiteral("Anonymous Proxies:"));
    }

    void countersTakeOnlyTheExactWords_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("anonymity");
        QTest::addColumn<int>("working");
        QTest::addColumn<int>("anonymous");
        QTest::newRow("working and anonymous") << CellText::Working << CellText::Anonymous << 1 << 1;
        QTest::newRow("lower case") << QStringLiteral("working") << QStringLiteral("y") << 0 << 0;
        QTest::newRow("trailing blank") << QStringLiteral("Working ") << QStringLiteral("Y ") << 0 << 0;
        QTest::newRow("leading blank") << QStringLiteral(" Working") << QStringLiteral(" Y") << 0 << 0;
        QTest::newRow("anonymous whatever the status") << CellText::Error << CellText::Anonymous << 0 << 1;
        QTest::newRow("working, not anonymous") << CellText::Working << CellText::NotAnonymous << 1 << 0;
        QTest::newRow("checking") << CellText::Checking << CellText::Untested << 0 << 0;
    }

    void countersTakeOnlyTheExactWords()
    {
        QFETCH(QString, status);
        QFETCH(QString, anonymity);
        ProxyTableModel table;
        table.addRows({QStringLiteral("1.2.3.4:80"), QStringLiteral("5.6.7.8:80")});
        table.setSubItem(2, ProxyTableModel::Status, status);
        table.setSubItem(2, ProxyTableModel::Anonymity, anonymity);
        StatusPanels panels;
        QSignalSpy changed(&panels, &StatusPanels::textChanged);
        panels.updateCounters(table);
        QTEST(panels.text(StatusPanels::Working).toInt(), "working");
        QTEST(panels.text(StatusPanels::Anonymous).toInt(), "anonymous");
        QCOMPARE(changed.size(), 2);
    }

    // Row numbers and counters go far past what a 16-bit integer holds.
    void largeTablesCountAndColourEveryRow()
    {
        const int rows = 70000;
        QStringList lines;
        lines.reserve(rows);
        for (int i = 0; i < rows; ++i)
            lines.append(QStringLiteral("10.%1.%2.1:80").arg(i / 256).arg(i % 256));
        ProxyTableModel table;
        table.addRows(lines);
        for (int r = 1; r <= rows; ++r) {
            table.setSubItem(r, ProxyTableModel::Status, CellText::Working);
            if (r > 32767)
                table.setSubItem(r, ProxyTableModel::Anonymity, CellText::Anonymous);
        }
        StatusPanels panels;
        panels.setTotal(table.count());
        panels.updateCounters(table);
        QCOMPARE(panels.text(StatusPanels::Total), QStringLiteral("70000"));
        QCOMPARE(panels.text(StatusPanels::Working), QStringLiteral("70000"));
        QCOMPARE(panels.text(StatusPanels::Anonymous), QString::number(rows - 32767));

        QVERIFY(table.setProxyColor(40000, ProxyColor::Green));
        QCOMPARE(table.color(40000), ProxyColor::Green);
        QCOMPARE(table.color(39999), ProxyColor::Default);
        QVERIFY(table.setProxyColor(rows, ProxyColor::Red));
        QCOMPARE(foreground(table, rows, ProxyTableModel::SpeedColumn), QColor(255, 0, 0));
    }

    void sortingComparesTextAndKeepsEqualRowsInOrder()
    {
        ProxyTableModel table;
        QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        table.addRows({QStringLiteral("9.0.0.1:80"), QStringLiteral("10.0.0.1:80"), QStringLiteral("1.0.0.1:80"),
                       QStringLiteral("2.0.0.1:80")});
        table.setSubItem(1, ProxyTableModel::Status, CellText::Working);
        table.setSubItem(3, ProxyTableModel::Status, CellText::Timeout);
        table.setSubItem(4, ProxyTableModel::Status, CellText::Working);

        table.sort(ProxyTableModel::ProxyColumn, Qt::AscendingOrder);
        QCOMPARE(texts(table), (QStringList{QStringLiteral("1.0.0.1:80"), QStringLiteral("10.0.0.1:80"),
                                            QStringLiteral("2.0.0.1:80"), QStringLiteral("9.0.0.1:80")}));
        // The results travel with their rows.
        QCOMPARE(table.subItem(1, ProxyTableModel::Status), CellText::Timeout);
        QCOMPARE(table.subItem(4, ProxyTableModel::Status), CellText::Working);

        // Empty text sorts first ascending, last descending; equal texts keep their current order.
        table.sort(ProxyTableModel::StatusColumn, Qt::AscendingOrder);
        QCOMPARE(texts(table), (QStringList{QStringLiteral("10.0.0.1:80"), QStringLiteral("1.0.0.1:80"),
                                            QStringLiteral("2.0.0.1:80"), QStringLiteral("9.0.0.1:80")}));
        table.sort(ProxyTableModel::StatusColumn, Qt::DescendingOrder);
        QCOMPARE(texts(table), (QStringList{QStringLiteral("2.0.0.1:80"), QStringLiteral("9.0.0.1:80"),
                                            QStringLiteral("1.0.0.1:80"), QStringLiteral("10.0.0.1:80")}));
    }

    void selectionFollowsRowsAcrossSort()
    {
        ProxyTableModel table;
        table.addRows({QStringLiteral("3.0.0.1:80"), QStringLiteral("1.0.0.1:80"), QStringLiteral("2.0.0.1:80")});
        QItemSelectionModel *selection = table.selectionModel();
        selection->select(table.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(table.isSelected(1));
        QVERIFY(!table.isSelected(2));
        QVERIFY(!table.isSelected(4));

        table.sort(ProxyTableModel::ProxyColumn, Qt::AscendingOrder);
        QCOMPARE(table.itemText(3), QStringLiteral("3.0.0.1:80"));
        QCOMPARE(table.selectedRows(), (std::vector<bool>{false, false, true}));
    }

    // Rows are kept where keep holds '1' and selected where selected holds '1'; current is a 0-based row.
    void keepRowsCarriesSelectionAndIndexes_data()
    {
        QTest::addColumn<QString>("keep");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("current");
        QTest::newRow("scattered") << "1010101"
                                   << "1100110" << 4;
        QTest::newRow("consecutive removed") << "1000111"
                                             << "0111011" << 2;
        QTest::newRow("everything selected") << "0110"
                                             << "1111" << 0;
        QTest::newRow("first and last removed") << "01110"
                                                << "10001" << 3;
        QTest::newRow("nothing kept") << "000"
                                      << "111" << 1;
        QTest::newRow("nothing removed") << "111"
                                         << "010" << 1;
    }

    void keepRowsCarriesSelectionAndIndexes()
    {
        QFETCH(QString, keep);
        QFETCH(QString, selected);
        QFETCH(int, current);
        ProxyTableModel table;
        QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QItemSelectionModel *selection = table.selectionModel();
        std::vector<bool> flags;
        std::vector<QPersistentModelIndex> persistent;
        for (int row = 0; row < keep.size(); ++row) {
            table.add(QString::number(row));
            flags.push_back(keep[row] == u'1');
            persistent.emplace_back(table.index(row, ProxyTableModel::SpeedColumn));
            if (selected[row] == u'1')
                selection->select(table.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        selection->setCurrentIndex(table.index(current, 1), QItemSelectionModel::NoUpdate);
        QSignalSpy layout(&table, &QAbstractItemModel::layoutChanged);

        table.keepRows(flags);

        QCOMPARE(layout.size(), keep.contains(u'0') ? 1 : 0);
        QStringList texts;
        std::vector<bool> selectedAfter;
        for (int row = 0; row < keep.size(); ++row) {
            if (!flags[size_t(row)]) {
                QVERIFY(!persistent[size_t(row)].isValid());
                QVERIFY(row != current || !selection->currentIndex().isValid());
                continue;
            }
            const int now = int(texts.size());
            QCOMPARE(persistent[size_t(row)], table.index(now, ProxyTableModel::SpeedColumn));
            if (row == current)
                QCOMPARE(selection->currentIndex(), table.index(now, 1));
            // Whole rows, as the user selected them.
            QCOMPARE(selection->isRowSelected(now, {}), selected[row] == u'1');
            texts.append(QString::number(row));
            selectedAfter.push_back(selected[row] == u'1');
        }
        QCOMPARE(TestProxyTableModel::texts(table), texts);
        QCOMPARE(table.selectedRows(), selectedAfter);
    }

    // The view gets at most the first 1,000 characters of a cell; everything else reads the whole text.
    void longCellsAreShownCut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString x999(999, u'x');
        const QString face = QStringLiteral("\U0001F600");
        QTest::newRow("1,000 characters") << x999 + "y" << x999 + "y";
        QTest::newRow("1,001 characters") << x999 + "yz" << x999 + "y\u2026";
        QTest::newRow("pair across the cut") << x999 + face << x999 + "\u2026";
        QTest::newRow("pair before the cut") << x999.first(998) + face + "z" << x999.first(998) + face + "\u2026";
        QTest::newRow("megabytes") << "1.2.3.4:80:" + QString(4 << 20, u'x')
                                   << "1.2.3.4:80:" + QString(989, u'x') + "\u2026";
    }

    void longCellsAreShownCut()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        ProxyTableModel table;
        table.add(text);
        QCOMPARE(table.data(table.index(0, ProxyTableModel::ProxyColumn)).toString(), shown);
        QCOMPARE(table.itemText(1), text);
        QCOMPARE(table.rowAt(1).text, text);
    }
};

KORVANE_TEST(TestProxyTableModel)
#include "tst_proxytablemodel.moc"

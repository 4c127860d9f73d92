// The filter rules and their one-pass application to the table.
#include "proxylist/CellText.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyRow.h"
#include "proxylist/ProxyTableModel.h"
#include "tests/common/TableText.h"
#include "tests/common/TestMain.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ProxyFilter::Rule)
Q_DECLARE_METATYPE(std::vector<bool>)

class TestProxyFilter : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProxyTableModel> m_table;
    std::unique_ptr<QAbstractItemModelTester> m_tester;

    void addRow(const QString &text, const QString &status, const QString &anonymity)
    {
        m_table->add(text);
        m_table->setSubItem(m_table->count(), ProxyTableModel::Status, status);
        m_table->setSubItem(m_table->count(), ProxyTableModel::Anonymity, anonymity);
    }

    QStringList texts() const { return columnTexts(*m_table); }

private Q_SLOTS:
    void init();
    void matches_data();
    void matches();
    void applyKeepsTheSelection_data();
    void applyKeepsTheSelection();
};

void TestProxyFilter::init()
{
    m_tester.reset();
    m_table = std::make_unique<ProxyTableModel>();
    m_tester = std::make_unique<QAbstractItemModelTester>(m_table.get());
}

void TestProxyFilter::matches_data()
{
    QTest::addColumn<ProxyFilter::Rule>("rule");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("anonymity");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("kept");

    const auto working = ProxyFilter::KeepWorking;
    QTest::newRow("working") << working << CellText::Working << CellText::NotAnonymous << false << true;
    QTest::newRow("untested") << working << CellText::Untested << QString() << true << false;
    QTest::newRow("timeout") << working << CellText::Timeout << CellText::NoVerdict << false << false;
    QTest::newRow("lower case") << working << u"working"_s << CellText::Anonymous << false << false;
    QTest::newRow("trailing blank") << working << u"Working "_s << CellText::Anonymous << false << false;

    const auto anonymous = ProxyFilter::KeepAnonymous;
    QTest::newRow("anonymous") << anonymous << CellText::Working << CellText::Anonymous << false << true;
    QTest::newRow("anonymous, any status") << anonymous << CellText::Error << CellText::Anonymous << false << true;
    QTest::newRow("not anonymous") << anonymous << CellText::Working << CellText::NotAnonymous << false << false;
    QTest::newRow("lower-case y") << anonymous << CellText::Working << u"y"_s << false << false;

    QTest::newRow("selected") << ProxyFilter::KeepSelected << QString() << QString() << true << true;
    QTest::newRow("not selected") << ProxyFilter::KeepSelected << CellText::Working << CellText::Anonymous << false
                                  << false;
}

void TestProxyFilter::matches()
{
    QFETCH(ProxyFilter::Rule, rule);
    QFETCH(QString, status);
    QFETCH(QString, anonymity);
    QFETCH(bool, selected);
    QFETCH(bool, kept);
    ProxyRow row;
    row.text = u"1.2.3.4:80"_s;
    row.status = status;
    row.anonymity = anonymity;
    QCOMPARE(ProxyFilter(rule).matches(row, selected), kept);
}

// Rows c, d and e are selected and e is the current row. Each rule keeps its rows in order, drops consecutive
// failing rows without skipping one, and leaves the selection and the current row on the rows that stay.
void TestProxyFilter::applyKeepsTheSelection_data()
{
    QTest::addColumn<ProxyFilter::Rule>("rule");
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<std::vector<bool>>("selected");
    QTest::newRow("working") << ProxyFilter::KeepWorking << QStringList{u"a"_s, u"e"_s}
                             << std::vector<bool>{false, true};
    QTest::newRow("anonymous") << ProxyFilter::KeepAnonymous << QStringList{u"a"_s, u"c"_s}
                               << std::vector<bool>{false, true};
    QTest::newRow("selected") << ProxyFilter::KeepSelected << QStringList{u"c"_s, u"d"_s, u"e"_s}
                              << std::vector<bool>{true, true, true};
    QTest::newRow("by speed") << ProxyFilter::KeepAll << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}
                              << std::vector<bool>{false, false, true, true, true};
}

void TestProxyFilter::applyKeepsTheSelection()
{
    QFETCH(ProxyFilter::Rule, rule);
    QFETCH(QStringList, kept);
    addRow(u"a"_s, CellText::Working, CellText::Anonymous);
    addRow(u"b"_s, CellText::Error, CellText::NoVerdict);
    addRow(u"c"_s, CellText::Timeout, CellText::Anonymous);
    addRow(u"d"_s, QString(), QString());
    addRow(u"e"_s, CellText::Working, CellText::NotAnonymous);
    QItemSelectionModel *selection = m_table->selectionModel();
    selection->select(QItemSelection(m_table->index(2, 0), m_table->index(4, ProxyTableModel::StatusColumn)),
                      QItemSelectionModel::Select);
    selection->setCurrentIndex(m_table->index(4, 0), QItemSelectionModel::NoUpdate);

    ProxyFilter(rule).apply(*m_table);
    QCOMPARE(texts(), kept);
    QTEST(m_table->selectedRows(), "selected");
    const qsizetype current = kept.indexOf(u"e"_s);
    QCOMPARE(selection->currentIndex(), current < 0 ? QModelIndex() : m_table->index(int(current), 0));
    if (current >= 0)
        QCOMPARE(m_table->subItem(int(current) + 1, ProxyTableModel::Anonymity), CellText::NotAnonymous);
}

KORVANE_TEST(TestProxyFilter)
#include "tst_proxyfilter.moc"

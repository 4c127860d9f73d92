// The filter rules and their one-pass application to the table.
#include "CellText.h"
#include "ProxyFilter.h"
#include "ProxyRow.h"
#include "ProxyTableModel.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ProxyFilter::Rule)

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

    QStringList texts() const
    {
        QStringList texts;
        for (int r = 1; r <= m_table->count(); ++r)
            texts.append(m_table->itemText(r));
        return texts;
    }

private Q_SLOTS:
    void init();
    void matches_data();
    void matches();
    void consecutiveRowsAllGo();
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

// Rows 2, 3 and 4 of five fail: a removal loop that forgets to step back would skip one of them.
void TestProxyFilter::consecutiveRowsAllGo()
{
    addRow(u"a"_s, CellText::Working, CellText::Anonymous);
    addRow(u"b"_s, CellText::Error, CellText::NoVerdict);
    addRow(u"c"_s, CellText::Timeout, CellText::NoVerdict);
    addRow(u"d"_s, QString(), QString());
    addRow(u"e"_s, CellText::Working, CellText::NotAnonymous);
    ProxyFilter(ProxyFilter::KeepWorking).apply(*m_table);
    QCOMPARE(texts(), (QStringList{u"a"_s, u"e"_s}));
    QCOMPARE(m_table->subItem(2, ProxyTableModel::Anonymity), CellText::NotAnonymous);

    ProxyFilter(ProxyFilter::KeepAnonymous).apply(*m_table);
    QCOMPARE(texts(), QStringList{u"a"_s});
}

QTEST_GUILESS_MAIN(TestProxyFilter)
#include "tst_proxyfilter.moc"

#include "proxylist/TextFunctions.h"
#include "tests/common/TestMain.h"

#include <QTest>

class TestTextFunctions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void getFirstValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("expected");
        const QString end = QStringLiteral("</body></html>");
        const QString colon = QStringLiteral(":");
        QTest::newRow("host and port") << QStringLiteral("10.0.0.1:80") << colon << QStringLiteral("10.0.0.1");
        QTest::newRow("blanks trimmed") << QStringLiteral("  10.0.0.1  :80") << colon << QStringLiteral("10.0.0.1");
        QTest::newRow("only blanks trimmed")
            << QStringLiteral("\t10.0.0.1\r\n</body></html>") << end << QStringLiteral("\t10.0.0.1\r\n");
        QTest::newRow("no separator, whole text")
            << QStringLiteral(" 10.0.0.1 ") << colon << QStringLiteral(" 10.0.0.1 ");
        QTest::newRow("separator first, whole text") << QStringLiteral(":80 ") << colon << QStringLiteral(":80 ");
        QTest::newRow("empty text") << QString() << colon << QString();
        QTest::newRow("empty separator") << QStringLiteral(" a ") << QString() << QStringLiteral(" a ");
        QTest::newRow("empty separator, empty text") << QString() << QString() << QString();
        QTest::newRow("first occurrence") << QStringLiteral("a:b:c") << colon << QStringLiteral("a");
        QTest::newRow("letter case matters") << QStringLiteral("1.2.3.4</BODY></HTML>x</body></html>") << end
                                             << QStringLiteral("1.2.3.4</BODY></HTML>x");
        QTest::newRow("blank before separator only") << QStringLiteral(" :80") << colon << QString();
        // Positions beyond what a 16-bit integer holds follow the same rule.
        const QString far = QString(40000, u'7') + QStringLiteral(" </body></html>");
        QTest::newRow("separator past 32767") << far << end << QString(40000, u'7');
    }

    void getFirstValue()
    {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QTEST(firstValue(text, separator), "expected");
    }
};

KORVANE_TEST(TestTextFunctions)
#include "tst_textfunctions.moc"

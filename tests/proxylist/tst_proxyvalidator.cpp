// The line test of a load and the number rules behind it, under pinned locales.
#include "proxylist/ProxyValidator.h"
#include "tests/common/TestMain.h"

#include <QTest>

#include <cmath>

class TestProxyValidator : public QObject
{
    Q_OBJECT

private:
    const QLocale m_us{QLocale::English, QLocale::UnitedStates};
    const QLocale m_german{QLocale::German, QLocale::Germany};

private Q_SLOTS:
    void lines_data();
    void lines();
    void latin1LinesAgreeWithText();
    void numericValue_data();
    void numericValue();
    void germanNumbers();
    void ipv4Address_data();
    void ipv4Address();
    void portNumber_data();
    void portNumber();
};

void TestProxyValidator::lines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");

    QTest::newRow("plain") << "1.2.3.4:80" << true;
    QTest::newRow("leading blank") << " 1.2.3.4:80" << true;
    QTest::newRow("blanks around parts") << "1 . 2.3.4 : 80 " << true;
    QTest::newRow("port beyond TCP range") << "1.2.3.4:99999" << true;
    QTest::newRow("negative port") << "1.2.3.4:-1" << true;
    QTest::newRow("currency port") << "1.2.3.4:$80" << true;
    QTest::newRow("extra after port") << "1.2.3.4:80:extra" << true;
    QTest::newRow("anything after second colon") << QStringLiteral("1.2.3.4:80:\t\u00ff:") + QChar(0) << true;
    QTest::newRow("leading zeros") << "001.002.003.004:0080" << true;
    QTest::newRow("hex port") << "1.2.3.4:&H50" << true;
    QTest::newRow("hex and octal parts") << "&HFF.&O377.&h0.&o0:1" << true;
    QTest::newRow("edges of the part range") << "0.0.0.255:0" << true;
    QTest::newRow("fractional part within range") << "1e-1.0.0.1:80" << true;
    QTest::newRow("negative zero part") << "-0.0.0.1:80" << true;

    QTest::newRow("no colon") << "1.2.3.4" << false;
    QTest::newRow("empty port") << "1.2.3.4:" << false;
    QTest::newRow("three parts") << "1.2.3:80" << false;
    QTest::newRow("five parts") << "1.2.3.4.5:80" << false;
    QTest::newRow("part above 255") << "1.2.3.256:80" << false;
    QTest::newRow("letters") << "a.b.c.d:80" << false;
    QTest::newRow("empty part") << "1..3.4:80" << false;
    QTest::newRow("host name") << "localhost:80" << false;
    QTest::newRow("empty line") << "" << false;
    QTest::newRow("blank line") << "   " << false;
    QTest::newRow("two lines joined by LF") << "1.2.3.4:80\n5.6.7.8:80" << false;
    QTest::newRow("hex wider than 32 bits") << "1.2.3.4:&H100000000" << false;
    QTest::newRow("foreign currency") << "1.2.3.4:\u20ac80" << false;
    QTest::newRow("NUL after port") << QStringLiteral("1.2.3.4:80") + QChar(0) << false;
}

void TestProxyValidator::lines()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QCOMPARE(ProxyValidator(m_us).isValidProxy(line), valid);
}

// A file's bytes are tested without being converted first; the verdict must not depend on the route.
void TestProxyValidator::latin1LinesAgreeWithText()
{
    const ProxyValidator validator(m_us);
    // "\xa0" is a no-break space, white space like the blank.
    const QByteArray lines[] = {
        "1.2.3.4:80",
        " 1.2.3.4:&H50 ",
        "1.2.3.4:80:\xff\x80",
        "1.2.3.4:\xa0"
        "80",
        "1.2.3.4:80\xa0",
        "1.2.3.4:8\xff",
        "1.2.3.256:80",
        "1.2.3.4:$80",
        "a.b.c.d:1",
        "1.2.3.4:(80",
        QByteArray("1.2.3.4:80\0x", 12),
    };
    for (const QByteArray &bytes : lines) {
        const QLatin1StringView latin1(bytes);
        QCOMPARE(validator.isValidProxy(latin1), validator.isValidProxy(QString(latin1)));
    }
}

void TestProxyValidator::numericValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<double>("value");

    QTest::newRow("digits") << "12" << true << 12.0;
    QTest::newRow("many leading zeros") << "0000000000000000000012" << true << 12.0;
    QTest::newRow("white space around") << " \t12 " << true << 12.0;
    QTest::newRow("sign before") << "-5" << true << -5.0;
    QTest::newRow("space after sign") << "- 5" << true << -5.0;
    QTest::newRow("sign after") << "5-" << true << -5.0;
    QTest::newRow("parentheses") << "(5)" << true << -5.0;
    QTest::newRow("currency in parentheses") << "($1,234.50)" << true << -1234.5;
    QTest::newRow("currency after") << "5$" << true << 5.0;
    QTest::newRow("thousands") << "1,234,567" << true << 1234567.0;
    QTest::newRow("loose grouping") << "1,2" << true << 12.0;
    QTest::newRow("decimal") << "2.5" << true << 2.5;
    QTest::newRow("no integer digits") << ".5" << true << 0.5;
    QTest::newRow("no fraction digits") << "1." << true << 1.0;
    QTest::newRow("exponent") << "1e2" << true << 100.0;
    QTest::newRow("hex") << "&H7F" << true << 127.0;
    QTest::newRow("hex 32 bits") << "&HFFFFFFFF" << true << 4294967295.0;
    QTest::newRow("octal") << "&o17" << true << 15.0;
    QTest::newRow("negative hex") << "-&H10" << true << -16.0;

    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("white space only") << "  " << false << 0.0;
    QTest::newRow("blank between digits") << "1 2" << false << 0.0;
    QTest::newRow("leading separator") << ",1" << false << 0.0;
    QTest::newRow("trailing separator") << "1," << false << 0.0;
    QTest::newRow("two currency symbols") << "$$1" << false << 0.0;
    QTest::newRow("two signs") << "--1" << false << 0.0;
    QTest::newRow("signs both sides") << "-1-" << false << 0.0;
    QTest::newRow("sign inside parentheses") << "(-1)" << false << 0.0;
    QTest::newRow("unclosed parenthesis") << "(1" << false << 0.0;
    QTest::newRow("exponent without digits") << "1e" << false << 0.0;
    QTest::newRow("unknown notation") << "&B101" << false << 0.0;
    QTest::newRow("hex fraction") << "&H1.5" << false << 0.0;
}

void TestProxyValidator::numericValue()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QFETCH(double, value);
    const std::optional<double> result = ProxyValidator(m_us).numericValue(text);
    QCOMPARE(result.has_value(), numeric);
    if (numeric)
        QCOMPARE(*result, value);
}

// The same rules with the German symbols: "," is the decimal separator, "." groups thousands, "€" is the money.
void TestProxyValidator::germanNumbers()
{
    const ProxyValidator german(m_german);
    QCOMPARE(german.numericValue(u"1.234,5"), 1234.5);
    QCOMPARE(german.numericValue(u"1,5"), 1.5);
    QCOMPARE(german.numericValue(u"5 \u20ac"), 5.0);
    QVERIFY(!german.numericValue(u"$5"));
    QVERIFY(!german.numericValue(u"1,2,3"));
    QVERIFY(german.isValidProxy(u"1.2.3.4:8.080"));
    QVERIFY(german.isValidProxy(u"1,5.2.3.4:80"));
    QVERIFY(!german.isValidProxy(u"1.2.3.4:8,0,80"));
}

void TestProxyValidator::ipv4Address_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<qint64>("address"); // -1: none

    QTest::newRow("plain") << "1.2.3.4" << qint64(0x01020304);
    QTest::newRow("leading zero is decimal") << "010.0.0.1" << qint64(0x0a000001);
    QTest::newRow("hex part") << "&H7F.0.0.1" << qint64(0x7f000001);
    QTest::newRow("blanks") << " 127.0.0.1 " << qint64(0x7f000001);
    QTest::newRow("top") << "255.255.255.255" << qint64(0xffffffff);
    QTest::newRow("fraction") << "1e-1.0.0.1" << qint64(-1);
    QTest::newRow("above 255") << "256.0.0.1" << qint64(-1);
    QTest::newRow("negative") << "-1.0.0.1" << qint64(-1);
    QTest::newRow("three parts") << "1.2.3" << qint64(-1);
    QTest::newRow("five parts") << "1.2.3.4.5" << qint64(-1);
    QTest::newRow("empty") << "" << qint64(-1);
}

void TestProxyValidator::ipv4Address()
{
    QFETCH(QString, host);
    QFETCH(qint64, address);
    const std::optional<quint32> result = ProxyValidator(m_us).ipv4Address(host);
    QCOMPARE(result ? qint64(*result) : qint64(-1), address);
}

void TestProxyValidator::portNumber_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("number"); // 0: none

    QTest::newRow("plain") << "80" << 80;
    QTest::newRow("hex") << "&H50" << 80;
    QTest::newRow("exponent") << "8e1" << 80;
    QTest::newRow("grouped") << "8,080" << 8080;
    QTest::newRow("highest") << "65535" << 65535;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("above range") << "65536" << 0;
    QTest::newRow("negative") << "-1" << 0;
    QTest::newRow("fraction") << "80.5" << 0;
    QTest::newRow("not numeric") << "http" << 0;
}

void TestProxyValidator::portNumber()
{
    QFETCH(QString, port);
    QFETCH(int, number);
    const std::optional<quint16> result = ProxyValidator(m_us).portNumber(port);
    QCOMPARE(result ? int(*result) : 0, number);
}

KORVANE_TEST(TestProxyValidator)
#include "tst_proxyvalidator.moc"

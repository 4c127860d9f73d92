// Loading lists from files and clipboard text: line breaking, validation, duplicates, bad input.
#include "proxylist/CellText.h"
#include "proxylist/ProxyColor.h"
#include "proxylist/ProxyExporter.h"
#include "proxylist/ProxyLoader.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/ProxyValidator.h"
#include "proxylist/StatusPanels.h"
#include "tests/common/TableText.h"
#include "tests/common/TestMain.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestProxyLoader : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProxyTableModel> m_table;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::unique_ptr<StatusPanels> m_panels;
    const ProxyValidator m_validator{QLocale(QLocale::English, QLocale::UnitedStates)};
    QTemporaryDir m_dir;

    ProxyLoader loader() { return ProxyLoader(*m_table, *m_panels, m_validator); }
    QString total() const { return m_panels->text(StatusPanels::Total); }

    QStringList texts() const { return columnTexts(*m_table); }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // A tested row, as a finished test run leaves it.
    void markWorking(int row)
    {
        m_table->setSubItem(row, ProxyTableModel::Status, CellText::Working);
        m_table->setSubItem(row, ProxyTableModel::Anonymity, CellText::Anonymous);
        m_table->setSubItem(row, ProxyTableModel::Speed, CellText::NoVerdict);
        m_table->setProxyColor(row, ProxyColor::Green);
    }

private Q_SLOTS:
    void init();
    void lineEnds_data();
    void lineEnds();
    void clipboardBeyondLatin1_data();
    void clipboardBeyondLatin1();
    void duplicatesKeepFirstCopy();
    void mergeKeepsOldResults();
    void unusablePathLeavesTableAlone_data();
    void unusablePathLeavesTableAlone();
    void fileRoundTripIsByteForByte();
    void clipboardRoundTrip();
    void binaryFile();
    void longLineWithoutBreak();
};

void TestProxyLoader::init()
{
    QVERIFY(m_dir.isValid());
    m_tester.reset();
    m_table = std::make_unique<ProxyTableModel>();
    m_tester = std::make_unique<QAbstractItemModelTester>(m_table.get());
    m_panels = std::make_unique<StatusPanels>();
}

// Every table row goes through both routes: a file of these bytes and clipboard text of these characters.
void TestProxyLoader::lineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows");

    const QStringList two{"1.2.3.4:80", "5.6.7.8:81"};
    QTest::newRow("CR LF") << QByteArray("1.2.3.4:80\r\n5.6.7.8:81\r\n") << two;
    QTest::newRow("lone CR") << QByteArray("1.2.3.4:80\r5.6.7.8:81\r") << two;
    QTest::newRow("lone LF") << QByteArray("1.2.3.4:80\n5.6.7.8:81\n") << two;
    QTest::newRow("no final break") << QByteArray("1.2.3.4:80\n5.6.7.8:81") << two;
    QTest::newRow("mixed") << QByteArray("1.2.3.4:80\r\n5.6.7.8:81\n9.9.9.9:9\r1.1.1.1:1")
                           << QStringList{"1.2.3.4:80", "5.6.7.8:81", "9.9.9.9:9", "1.1.1.1:1"};
    // Only an LF right after a CR belongs to it; LF CR and CR LF LF are two breaks, the empty line between dropped.
    QTest::newRow("LF CR") << QByteArray("1.2.3.4:80\n\r5.6.7.8:81") << two;
    QTest::newRow("CR LF LF") << QByteArray("1.2.3.4:80\r\n\n5.6.7.8:81\r\n\n") << two;
    QTest::newRow("empty lines") << QByteArray("\r\n\n\r1.2.3.4:80\r\r\n\n\r\n") << QStringList{"1.2.3.4:80"};
    QTest::newRow("blanks and tabs stay")
        << QByteArray(" 1.2.3.4:80 \n1.2.3.4:80\t\n") << QStringList{" 1.2.3.4:80 ", "1.2.3.4:80\t"};
    QTest::newRow("blank lines skipped") << QByteArray("   \n\r\n1.2.3.4:80\r\n  ") << QStringList{"1.2.3.4:80"};
    QTest::newRow("rejects dropped") << QByteArray("x\n1.2.3:80\r\n1.2.3.4:80\rlocalhost:80\n")
                                     << QStringList{"1.2.3.4:80"};
    QTest::newRow("empty") << QByteArray() << QStringList{};
}

void TestProxyLoader::lineEnds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, rows);
    QVERIFY(loader().loadFromFile(writeFile(QStringLiteral("lines.txt"), bytes), false));
    QCOMPARE(texts(), rows);
    QCOMPARE(total(), QString::number(rows.size()));

    loader().loadFromClipboard(QString::fromLatin1(bytes), false);
    QCOMPARE(texts(), rows);
    QCOMPARE(total(), QString::number(rows.size()));
}

void TestProxyLoader::clipboardBeyondLatin1_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("beyond Latin-1 after the port") << "1.2.3.4:80:\u20ac\U0001F600";
    QTest::newRow("broken UTF-16 after the port") << QStringLiteral("1.2.3.4:80:") + QChar(0xd800);
}

void TestProxyLoader::clipboardBeyondLatin1()
{
    QFETCH(QString, text);
    loader().loadFromClipboard(QString(text + "\n" + text), false);
    QCOMPARE(texts(), QStringList{text});
}

void TestProxyLoader::duplicatesKeepFirstCopy()
{
    loader().loadFromClipboard(u"1.2.3.4:80\r\n1.2.3.4:80\r\n5.6.7.8:1\r\n1.2.3.4:80\r\n1.2.3.4:80 \r\n5.6.7.8:1",
                               false);
    QCOMPARE(texts(), (QStringList{"1.2.3.4:80", "5.6.7.8:1", "1.2.3.4:80 "}));
    QCOMPARE(total(), QStringLiteral("3"));

    // Rows that got into the table some other way are reduced by a merge too, the first copy keeping its
    // results; the user's selection and current row stay with the rows that stay.
    m_table->clear();
    for (const char *text : {"a", "b", "a", "c", "b", "a"})
        m_table->add(QString::fromLatin1(text));
    markWorking(1);
    QItemSelectionModel *selection = m_table->selectionModel();
    for (int row : {1, 3, 5})
        selection->select(m_table->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->setCurrentIndex(m_table->index(3, 0), QItemSelectionModel::NoUpdate);
    loader().loadFromClipboard(u"1.2.3.4:80\nb", true);
    QCOMPARE(texts(), (QStringList{"a", "b", "c", "1.2.3.4:80"}));
    QCOMPARE(m_table->subItem(1, ProxyTableModel::Status), CellText::Working);
    QCOMPARE(m_table->selectedRows(), (std::vector<bool>{false, true, true, false}));
    QCOMPARE(selection->currentIndex(), m_table->index(2, 0));
}

void TestProxyLoader::mergeKeepsOldResults()
{
    loader().loadFromClipboard(u"1.2.3.4:80\r\n9.9.9.9:9", false);
    markWorking(1);
    const QString path = writeFile(QStringLiteral("merge.txt"), "5.6.7.8:81\r\n1.2.3.4:80\r\n5.6.7.8:81\r\n");
    QVERIFY(loader().loadFromFile(path, true));

    QCOMPARE(texts(), (QStringList{"1.2.3.4:80", "9.9.9.9:9", "5.6.7.8:81"}));
    QCOMPARE(m_table->subItem(1, ProxyTableModel::Status), CellText::Working);
    QCOMPARE(m_table->subItem(1, ProxyTableModel::Anonymity), CellText::Anonymous);
    QCOMPARE(m_table->color(1), ProxyColor::Green);
    QCOMPARE(m_table->subItem(3, ProxyTableModel::Status), CellText::Untested);
    QCOMPARE(m_table->color(3), ProxyColor::Default);
    QCOMPARE(total(), QStringLiteral("3"));
}

void TestProxyLoader::unusablePathLeavesTableAlone_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "missing.txt";
    QTest::newRow("directory") << "folder";
    QTest::newRow("pipe") << "pipe";
}

void TestProxyLoader::unusablePathLeavesTableAlone()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder")));
    const QByteArray pipe = QFile::encodeName(m_dir.filePath(QStringLiteral("pipe")));
    QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("pipe"))) || ::mkfifo(pipe.constData(), 0600) == 0);

    loader().loadFromClipboard(u"1.2.3.4:80", false);
    markWorking(1);
    const FileResult result = loader().loadFromFile(m_dir.filePath(name), false);
    QVERIFY(!result);
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(texts(), QStringList{"1.2.3.4:80"});
    QCOMPARE(m_table->subItem(1, ProxyTableModel::Status), CellText::Working);
    QCOMPARE(total(), QStringLiteral("1"));
}

// Whatever bytes follow the port survive a load and a save unchanged: files are one byte per character.
void TestProxyLoader::fileRoundTripIsByteForByte()
{
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            everyByte.append(char(b));
    }
    const QByteArray bytes =
        "1.2.3.4:80:" + everyByte + "\r\n 5.6.7.8:81 \r\n9.9.9.9:9:\xff\x80" + QByteArray(1, '\0') + "\r\n";
    QVERIFY(loader().loadFromFile(writeFile(QStringLiteral("in.txt"), bytes), false));
    QCOMPARE(m_table->count(), 3);
    QCOMPARE(m_table->itemText(1).size(), qsizetype(11 + 254));

    const QString out = m_dir.filePath(QStringLiteral("out.txt"));
    QVERIFY(ProxyExporter(*m_table, false).saveToFile(out));
    QFile saved(out);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), bytes);
}

void TestProxyLoader::clipboardRoundTrip()
{
    const QString text = QStringLiteral(" 1.2.3.4:80\r\n5.6.7.8:81:\u20ac\r\n");
    loader().loadFromClipboard(text, false);
    QCOMPARE(ProxyExporter(*m_table, false).text(), text);
}

// Proxies with random bytes thrown in: whatever is kept passes the line test, and no text is kept twice.
void TestProxyLoader::binaryFile()
{
    QRandomGenerator random(20240611);
    QByteArray bytes;
    while (bytes.size() < (1 << 20)) {
        bytes += "1." + QByteArray::number(random.bounded(300)) + ".0.1:" + QByteArray::number(random.bounded(9));
        const char *breaks[] = {"\r\n", "\r", "\n", "\r\n\n"};
        bytes += QByteArray(random.bounded(3), char(random.bounded(256))) + breaks[random.bounded(4)];
    }
    QVERIFY(loader().loadFromFile(writeFile(QStringLiteral("binary.bin"), bytes), false));
    const QStringList rows = texts();
    QVERIFY(rows.size() > 100);
    QCOMPARE(QSet<QString>(rows.begin(), rows.end()).size(), rows.size());
    for (const QString &text : rows)
        QVERIFY2(m_validator.isValidProxy(text) && !text.contains(u'\r') && !text.contains(u'\n'), qPrintable(text));
}

void TestProxyLoader::longLineWithoutBreak()
{
    const QByteArray filler(4 << 20, 'x');
    QVERIFY(loader().loadFromFile(writeFile(QStringLiteral("long.txt"), filler + ":80"), false));
    QCOMPARE(m_table->count(), 0);
    QCOMPARE(total(), QStringLiteral("0"));

    const QByteArray kept = "1.2.3.4:80:" + filler;
    QVERIFY(loader().loadFromFile(writeFile(QStringLiteral("long.txt"), kept), false));
    QCOMPARE(m_table->count(), 1);
    QCOMPARE(m_table->itemText(1).size(), kept.size());
}

KORVANE_TEST(TestProxyLoader)
#include "tst_proxyloader.moc"

// The export text and the file save, which must never leave a half-written list behind.
#include "ProxyExporter.h"
#include "ProxyTableModel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Makes every write past the given size fail, even for root; the signal the kernel would send is ignored.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_former);
        m_formerHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_former;
        limit.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_former);
        std::signal(SIGXFSZ, m_formerHandler);
    }
    bool isActive() const { return m_active; }

private:
    rlimit m_former{};
    void (*m_formerHandler)(int) = nullptr;
    bool m_active = false;
};
} // namespace

class TestProxyExporter : public QObject
{
    Q_OBJECT

private:
    ProxyTableModel m_table;
    // A fresh folder for each test, so that its listing shows exactly what the test left behind.
    std::unique_ptr<QTemporaryDir> m_folder;
    QString filePath(const QString &name) const { return m_folder->filePath(name); }
    QStringList files() const { return QDir(m_folder->path()).entryList(QDir::Files); }

    void selectRow(int row)
    {
        m_table.selectionModel()->select(m_table.index(row - 1, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

private Q_SLOTS:
    void init();
    void exportText();
    void selectedOnly();
    void latin1File();
    void failedSaveKeepsFormerFile();
    void unwritableTargets_data();
    void unwritableTargets();
};

void TestProxyExporter::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_table.clear();
    m_table.addRows({QStringLiteral(" 1.2.3.4:80"), QStringLiteral("5.6.7.8:81"), QStringLiteral("9.9.9.9:9")});
}

void TestProxyExporter::exportText()
{
    QCOMPARE(ProxyExporter(m_table, false).text(), u" 1.2.3.4:80\r\n5.6.7.8:81\r\n9.9.9.9:9\r\n"_s);
    m_table.clear();
    QCOMPARE(ProxyExporter(m_table, false).text(), QString());
    QCOMPARE(ProxyExporter(m_table, false).latin1(), QByteArray());
}

void TestProxyExporter::selectedOnly()
{
    selectRow(3);
    selectRow(1);
    QCOMPARE(ProxyExporter(m_table, true).text(), u" 1.2.3.4:80\r\n9.9.9.9:9\r\n"_s);
    QCOMPARE(ProxyExporter(m_table, true).latin1(), QByteArray(" 1.2.3.4:80\r\n9.9.9.9:9\r\n"));
}

void TestProxyExporter::latin1File()
{
    m_table.clear();
    m_table.add(QStringLiteral("1.2.3.4:80:\u00e9\u20ac"));
    QCOMPARE(ProxyExporter(m_table, false).latin1(), QByteArray("1.2.3.4:80:\xe9?\r\n"));
}

// The write breaks off half-way; the former list must survive whole and no temporary file may be left.
void TestProxyExporter::failedSaveKeepsFormerFile()
{
    const QString path = filePath(QStringLiteral("former.txt"));
    QFile former(path);
    QVERIFY(former.open(QIODevice::WriteOnly));
    former.write("1.1.1.1:1\r\n");
    former.close();

    m_table.clear();
    QStringList many;
    for (int i = 0; i < 20000; ++i)
        many.append(QStringLiteral("10.0.%1.%2:8080").arg(i / 256).arg(i % 256));
    m_table.addRows(many);

    FileResult result;
    {
        const FileSizeLimit limit(4096);
        QVERIFY(limit.isActive());
        result = ProxyExporter(m_table, false).saveToFile(path);
    }
    QVERIFY(!result);
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(contents(path), QByteArray("1.1.1.1:1\r\n"));
    QCOMPARE(files(), QStringList{QStringLiteral("former.txt")});
}

void TestProxyExporter::unwritableTargets_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("folder that does not exist") << "missing/list.txt";
    QTest::newRow("target is a folder") << "folder";
}

void TestProxyExporter::unwritableTargets()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_folder->path()).mkpath(QStringLiteral("folder")));
    const FileResult result = ProxyExporter(m_table, false).saveToFile(filePath(name));
    QVERIFY(!result);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(QFileInfo(filePath(QStringLiteral("folder"))).isDir());
    QVERIFY(!QFileInfo::exists(filePath(QStringLiteral("missing"))));
    QCOMPARE(files(), QStringList());
}

QTEST_GUILESS_MAIN(TestProxyExporter)
#include "tst_proxyexporter.moc"

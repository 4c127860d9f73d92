// The export text and the file save, which must never lie: a failed save says so and leaves the former file whole.
#include "proxylist/ProxyExporter.h"
#include "proxylist/ProxyTableModel.h"
#include "tests/common/TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
const QByteArray Former = "1.1.1.1:1\r\n";

void addRows(ProxyTableModel &table, int count)
{
    QStringList rows;
    for (int i = 0; i < count; ++i)
        rows.append(u"10.%1.%2.%3:8080"_s.arg(i >> 16).arg((i >> 8) & 255).arg(i & 255));
    table.addRows(rows);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

struct stat fileStatus(const QString &path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status;
}

// The list to be replaced; a hard-linked one is written in place.
void prepareFormer(const QString &folder, bool inPlace)
{
    writeFile(folder + u"/list.txt"_s, Former);
    if (inPlace)
        QCOMPARE(::link(QFile::encodeName(folder + u"/list.txt"_s), QFile::encodeName(folder + u"/other.txt"_s)), 0);
}

// The child side of saveInChild(): one save, its reason on stderr, 0 or 1 as the exit code.
int childSave()
{
    ProxyTableModel table;
    addRows(table, qEnvironmentVariableIntValue("KORVANE_SAVE_ROWS"));
    const FileResult result = ProxyExporter(table, false).saveToFile(qEnvironmentVariable("KORVANE_SAVE_TO"));
    std::fputs(qPrintable(result.error), stderr);
    return result ? 0 : 1;
}

// Saves rows in a copy of this program, set up by modifier (a limit, another user) between fork and exec.
std::pair<int, QString> saveInChild(int rows, const QString &path, const std::function<void()> &modifier)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"KORVANE_SAVE_ROWS"_s, QString::number(rows));
    environment.insert(u"KORVANE_SAVE_TO"_s, path);
    child.setProcessEnvironment(environment);
    child.setChildProcessModifier(modifier);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished();
    }
    const bool normal = child.exitStatus() == QProcess::NormalExit && child.error() != QProcess::FailedToStart;
    return {normal ? child.exitCode() : -1, QString::fromLocal8Bit(child.readAllStandardError())};
}
} // namespace

class TestProxyExporter : public QObject
{
    Q_OBJECT

private:
    ProxyTableModel m_table;
    // A fresh folder for each test, so that its listing shows exactly what the test left behind.
    std::unique_ptr<QTemporaryDir> m_folder;
    QString filePath(const QString &name) const { return m_folder->filePath(name); }

private Q_SLOTS:
    void init();
    void exportText();
    void failedSave_data();
    void failedSave();
    void readOnlyFolder();
    void linksKeepTheirShape();
    void unwritableTargets_data();
    void unwritableTargets();
};

void TestProxyExporter::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_table.clear();
}

void TestProxyExporter::exportText()
{
    QCOMPARE(ProxyExporter(m_table, false).text(), QString());
    QCOMPARE(ProxyExporter(m_table, false).latin1(), QByteArray());
    m_table.addRows({u" 1.2.3.4:80"_s, u"5.6.7.8:81"_s, u"9.9.9.9:9:\u00e9\u20ac"_s});
    QCOMPARE(ProxyExporter(m_table, false).text(), u" 1.2.3.4:80\r\n5.6.7.8:81\r\n9.9.9.9:9:\u00e9\u20ac\r\n"_s);
    for (const int row : {3, 1})
        m_table.selectionModel()->select(m_table.index(row - 1, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(ProxyExporter(m_table, true).latin1(), QByteArray(" 1.2.3.4:80\r\n9.9.9.9:9:\xe9?\r\n"));
}

// Each size under a file-size limit and on a full disk, once through a new copy renamed over the file and once
// written in place (the file has a second name).
void TestProxyExporter::failedSave_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<bool>("fullDisk");
    for (const bool fullDisk : {false, true}) {
        for (const int rows : {1, 900, 100000}) {
            for (const bool inPlace : {false, true}) {
                // One short row fits where the former one was: a full disk refuses only growth.
                if (!(fullDisk && inPlace && rows == 1))
                    QTest::addRow("%s, %d rows, %s", fullDisk ? "full disk" : "size limit", rows,
                                  inPlace ? "in place" : "new copy")
                        << rows << inPlace << fullDisk;
            }
        }
    }
}

void TestProxyExporter::failedSave()
{
    QFETCH(int, rows);
    QFETCH(bool, inPlace);
    QFETCH(bool, fullDisk);
    const QString folder = fullDisk ? filePath(u"disk"_s) : m_folder->path();
    QVERIFY(QDir().mkpath(folder));
    if (fullDisk && ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID, "size=64k") != 0) {
        if (qEnvironmentVariableIsSet("KORVANE_OWN_NAMESPACE") ||
            QProcess::execute(u"unshare"_s, {u"-rm"_s, u"true"_s}))
            QSKIP("Cannot mount a small filesystem here: neither root nor allowed a user namespace.");
        // Not root, but root of a user namespace of its own: the same test runs there.
        QCOMPARE(QProcess::execute(u"unshare"_s, {u"-rm"_s, u"env"_s, u"KORVANE_OWN_NAMESPACE=1"_s,
                                                  QCoreApplication::applicationFilePath(),
                                                  u"failedSave:"_s + QLatin1StringView(QTest::currentDataTag())}),
                 0);
        return;
    }
    const auto unmount = qScopeGuard([&] {
        if (fullDisk)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    });
    prepareFormer(folder, inPlace);
    if (fullDisk) {
        QFile filler(folder + u"/filler"_s);
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        filler.write(QByteArray(128 * 1024, 'x')); // more than fits
    }
    // A limit smaller than one row breaks every save off part-way; its signal would end the child instead.
    const auto [exitCode, reason] = saveInChild(rows, folder + u"/list.txt"_s, [fullDisk] {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 8;
        if (!fullDisk && ::setrlimit(RLIMIT_FSIZE, &limit) == 0)
            std::signal(SIGXFSZ, SIG_IGN);
    });
    QCOMPARE(exitCode, 1);
    QCOMPARE(reason, qt_error_string(fullDisk ? ENOSPC : EFBIG));
    QCOMPARE(contents(folder + u"/list.txt"_s), Former);
    QCOMPARE(entries(folder).size(), 1 + int(inPlace) + int(fullDisk));
}

// Replacing a file in a folder its user may not write: only in place, as a plain overwrite does it.
void TestProxyExporter::readOnlyFolder()
{
    const bool root = ::geteuid() == 0;
    const passwd *nobody = ::getpwnam("nobody");
    if (root && !nobody)
        QSKIP("Running as root, and there is no user \"nobody\" to save as.");
    const uid_t uid = root ? nobody->pw_uid : ::geteuid();
    const gid_t gid = root ? nobody->pw_gid : ::getegid();
    const QString folder = filePath(u"locked"_s), path = folder + u"/list.txt"_s;
    QVERIFY(QDir().mkdir(folder));
    writeFile(path, Former);
    QCOMPARE(::chown(QFile::encodeName(path).constData(), uid, gid), 0);
    QVERIFY(::chmod(QFile::encodeName(m_folder->path()).constData(), 0755) == 0 &&
            ::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    const auto unlock = qScopeGuard([&folder] { ::chmod(QFile::encodeName(folder).constData(), 0755); });
    const auto [exitCode, reason] = saveInChild(900, path, [root, uid, gid] {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
            ::_exit(127);
    });
    QVERIFY2(exitCode == 0, qPrintable(reason));
    addRows(m_table, 900);
    QCOMPARE(contents(path), ProxyExporter(m_table, false).latin1());
    QCOMPARE(QFileInfo(path).ownerId(), uid);
    QCOMPARE(entries(folder), QStringList{u"list.txt"_s});
}

// A hard link keeps both names on the one file; symbolic links keep pointing where they did.
void TestProxyExporter::linksKeepTheirShape()
{
    const auto at = [this](const char *name) { return filePath(QString::fromLatin1(name)); };
    writeFile(at("linked.txt"), Former.repeated(10)); // longer than the new text: its end must go
    writeFile(at("single.txt"), Former);
    // A mode and a group that a new copy would not get by itself.
    const gid_t group = ::geteuid() == 0 ? 65534 : ::getegid();
    QVERIFY(::chown(QFile::encodeName(at("single.txt")).constData(), uid_t(-1), group) == 0 &&
            ::chmod(QFile::encodeName(at("single.txt")).constData(), 0640) == 0);
    QVERIFY(::link(QFile::encodeName(at("linked.txt")), QFile::encodeName(at("hard.txt"))) == 0 &&
            ::symlink("chain.txt", QFile::encodeName(at("symbolic.txt"))) == 0 &&
            ::symlink("single.txt", QFile::encodeName(at("chain.txt"))) == 0 &&
            ::symlink("new.txt", QFile::encodeName(at("dangling.txt"))) == 0);
    const ino_t linked = fileStatus(at("linked.txt")).st_ino;
    addRows(m_table, 3);
    for (const char *name : {"hard.txt", "symbolic.txt", "dangling.txt"})
        QVERIFY(ProxyExporter(m_table, false).saveToFile(at(name)));

    for (const char *name : {"linked.txt", "hard.txt", "single.txt", "new.txt"})
        QCOMPARE(contents(at(name)), ProxyExporter(m_table, false).latin1());
    QCOMPARE(fileStatus(at("hard.txt")).st_ino, linked);
    QCOMPARE(QFileInfo(at("symbolic.txt")).symLinkTarget(), at("chain.txt"));
    QCOMPARE(QFileInfo(at("chain.txt")).symLinkTarget(), at("single.txt"));
    QCOMPARE(QFileInfo(at("dangling.txt")).symLinkTarget(), at("new.txt"));
    QCOMPARE(fileStatus(at("single.txt")).st_mode & 07777, 0640u);
    QCOMPARE(fileStatus(at("single.txt")).st_gid, group);
    QCOMPARE(entries(m_folder->path()).size(), 7);
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
    QVERIFY(QDir(m_folder->path()).mkpath(u"folder"_s));
    const FileResult result = ProxyExporter(m_table, false).saveToFile(filePath(name));
    QVERIFY(!result && !result.error.isEmpty());
    QCOMPARE(entries(m_folder->path()), QStringList{u"folder"_s});
    QCOMPARE(entries(filePath(u"folder"_s)), QStringList());
}

KORVANE_TEST(TestProxyExporter)
// Started by saveInChild() with KORVANE_SAVE_TO set, the executable saves instead of testing.
[[maybe_unused]] static const bool childRole = TestMain::addChildRole([]() -> std::optional<int> {
    if (!qEnvironmentVariableIsSet("KORVANE_SAVE_TO"))
        return std::nullopt;
    return childSave();
});

#include "tst_proxyexporter.moc"

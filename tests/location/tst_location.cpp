// The location database as libloc reads it, and a row's country as the list, its filters and printed forms give it.
#include "location/GeoDatabase.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyWriter.h"
#include "tests/common/TestFiles.h"
#include "tests/common/TestGeoDatabase.h"

#include <QtTest>

#include <thread>

namespace {
// The flags' tokens, comma-separated.
QString tokens(GeoFlags flags)
{
    QStringList words;
    for (int bit = 0; bit < GeoFlagCount; ++bit) {
        if (flags.testFlag(GeoFlag(1 << bit)))
            words << GeoInfo::token(GeoFlag(1 << bit));
    }
    return words.join(u',');
}

// Code, name, AS and its name, and flags, one line; "none" when nothing was found.
QString described(const std::optional<GeoInfo> &info)
{
    if (!info)
        return "none";
    return QStringList{info->countryCode, info->countryName, QString::number(info->asn), info->asName,
                       tokens(info->flags)}
        .join(u'|');
}

ProxyResult working()
{
    return ProxyResult::working(true);
}
} // namespace

class TestLocation : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath("test.db");

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!TestGeoDatabase::write(m_path).isEmpty());
        GeoDatabase::setChosenPath(m_path);
    }

    void lookUp_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("found");
        // The most specific network holding the address wins; IPv4 is looked up as libloc keeps it, mapped.
        QTest::newRow("own network") << "127.0.0.1"
                                     << "DE|Germany|64500|Test Net One|";
        QTest::newRow("flagged") << "127.0.0.3"
                                 << "NL|Netherlands|64501|Test Net Three|anycast";
        QTest::newRow("mapped IPv6") << "::ffff:127.0.0.3"
                                     << "NL|Netherlands|64501|Test Net Three|anycast";
        QTest::newRow("enclosing network") << "127.0.0.44"
                                           << "FR|France|64502|Loopback Ltd|";
        QTest::newRow("no country, AS unnamed") << "127.0.0.2"
                                                << "||64504||anonymous-proxy";
        QTest::newRow("IPv6") << "2001:db8::5"
                              << "JP|Japan|64503|Documentation, \"AS\"|satellite-provider";
        QTest::newRow("IPv6 nested, no AS") << "2001:DB8:1::9"
                                            << "US|United States|0||anonymous-proxy,anycast";
        QTest::newRow("outside every network") << "10.0.0.1"
                                               << "none";
        QTest::newRow("IPv6 loopback") << "::1"
                                       << "none";
        QTest::newRow("no address") << "localhost"
                                    << "none";
        QTest::newRow("empty") << ""
                               << "none";
    }
    void lookUp()
    {
        QFETCH(QString, address);
        QFETCH(QString, found);
        const GeoDatabase database(m_path);
        QVERIFY2(database.isOpen(), qPrintable(database.problem()));
        QCOMPARE(described(database.lookUp(address)), found);
        // Twice: the names come from the caches the second time.
        QCOMPARE(described(database.lookUp(QHostAddress(address))), found);
    }

    // A missing or unreadable file is no error: nothing is found, and one line says why. A file that appears there
    // later is opened by the next run.
    void unusableDatabase()
    {
        const QString missing = m_dir.filePath("missing.db"), junk = writeFile(m_dir.filePath("junk.db"), "junk");
        GeoDatabase absent(missing);
        QVERIFY(!absent.isOpen());
        QVERIFY2(absent.problem().contains("cannot read " + missing), qPrintable(absent.problem()));
        QCOMPARE(absent.summary(), absent.problem());
        QVERIFY(!absent.lookUp(u"127.0.0.1") && !absent.createdAt().isValid() && !absent.isOutdated());
        const GeoDatabase garbage(junk);
        QVERIFY2(garbage.problem().contains(junk + " is not a location database"), qPrintable(garbage.problem()));
        QVERIFY(!garbage.lookUp(u"127.0.0.1"));
        QVERIFY(!TestGeoDatabase::write(missing).isEmpty());
        QVERIFY(absent.reopenIfChanged());
        QCOMPARE(absent.lookUp(u"127.0.0.1")->countryCode, "DE");
        QVERIFY(absent.problem().isEmpty());
        QVERIFY(absent.summary().startsWith("location database: " + missing + ", of "));
    }

    // `location update` moves a new file over the old: the next run reads the new one; an unchanged file is kept.
    void reopensWhenReplaced()
    {
        const QString path = TestGeoDatabase::write(m_dir.filePath("replaced.db"));
        GeoDatabase database(path);
        QCOMPARE(database.lookUp(u"127.0.0.1")->countryCode, "DE");
        QVERIFY(!database.reopenIfChanged());
        QVERIFY(!TestGeoDatabase::write(path, {{"127.0.0.1/32", "NL", 64501, 0}}).isEmpty());
        QVERIFY(database.reopenIfChanged());
        QCOMPARE(described(database.lookUp(u"127.0.0.1")), "NL|Netherlands|64501|Test Net Three|");
        QVERIFY(!database.lookUp(u"127.0.0.44"));
    }

    // Each thread has its own, of the path chosen; choosing another opens it.
    void perThread()
    {
        const GeoDatabase *mine = &GeoDatabase::forThisThread();
        QCOMPARE(&GeoDatabase::forThisThread(), mine);
        const GeoDatabase *other = nullptr;
        QString found;
        std::thread([&] {
            other = &GeoDatabase::forThisThread();
            found = other->lookUp(u"127.0.0.3")->countryCode;
        }).join();
        QVERIFY(other != mine);
        QCOMPARE(found, "NL");
        const QString otherPath = TestGeoDatabase::write(m_dir.filePath("other.db"), {{"127.0.0.3/32", "JP", 0, 0}});
        GeoDatabase::setChosenPath(otherPath);
        QCOMPARE(GeoDatabase::forThisThread().path(), otherPath);
        QCOMPARE(GeoDatabase::forThisThread().lookUp(u"127.0.0.3")->countryCode, "JP");
        GeoDatabase::setChosenPath(m_path);
    }

    void outdated()
    {
        const GeoDatabase database(m_path);
        const QDateTime &made = database.createdAt();
        QVERIFY(qAbs(made.secsTo(QDateTime::currentDateTimeUtc())) < 600);
        QVERIFY(!database.isOutdated() && database.outdatedNote().isEmpty());
        QVERIFY(!database.isOutdated(made.addYears(1).addSecs(-1)));
        const QDateTime later = made.addYears(1).addDays(1);
        QVERIFY(database.isOutdated(later));
        QVERIFY2(database.outdatedNote(later).contains("\"location update\" as root"),
                 qPrintable(database.outdatedNote(later)));
    }

    // The database Debian ships opens, and a documentation address, which no network holds, finds nothing or
    // something, without harm.
    void shippedDatabase()
    {
        const GeoDatabase shipped;
        if (!shipped.isOpen())
            QSKIP(qPrintable(shipped.problem() + " (scripts/install-deps.sh installs libloc-database)"));
        QVERIFY(shipped.createdAt().isValid());
        const std::optional<GeoInfo> found = shipped.lookUp(u"192.0.2.1");
        QVERIFY(!found || found->countryCode.isEmpty() || found->countryCode.size() == 2);
    }

    // The address a row is located by: its exit address, else the address its name was probed at, else its own,
    // read with the loader's number rules; nothing for a name not yet looked up. A reset drops what a check found.
    void rowLocation()
    {
        ProxyList list;
        list.addRows({"127.0.0.1:80", "127.000.000.003:80"});
        // Merged in with what a check found of it.
        ProxyRows checked;
        checked.append("socks5://localhost:1080");
        checked.apply(0, {ProxyResult::failed(ProxyStatus::Timeout), {}, "127.0.0.1"});
        list.appendRows(std::move(checked));
        list.addRows({"socks5://localhost:1081", "http://[2001:db8::1]:8080", "127.0.0.1:81", "10.0.0.1:80"});
        list.apply(1, {working(), "127.0.0.44"});
        list.apply(5, {working(), "2001:db8:1::1", "127.0.0.3"});
        const auto codes = [&list] {
            QStringList found;
            for (int r = 0; r < list.count(); ++r) {
                const std::optional<GeoInfo> info = list.locate(r);
                found << (info ? info->countryCode : "-");
            }
            return found.join(u' ');
        };
        QCOMPARE(codes(), "DE FR DE - JP US -");
        QCOMPARE(list.location(4)->asName, "Documentation, \"AS\"");
        QCOMPARE(list.locatedAddress(3), QHostAddress());
        // Kept by id through a reorder and a filter.
        list.keepRows({true, true, true, true, true, true, false});
        list.sort(ListColumn::Proxy, Qt::DescendingOrder, {});
        QCOMPARE(codes(), "- DE JP FR US DE");
        list.resetResults({false, true, false, true, true, false});
        QCOMPARE(codes(), "- - JP NL DE DE");
    }

    // Filters by country (any case) and network, the countries present and the printed forms.
    void filtersAndForms()
    {
        ProxyList list;
        list.addRows(
            {"127.0.0.3:1", "127.0.0.1:2", "127.0.0.44:3", "127.0.0.1:4", "10.0.0.1:5", "127.0.0.45:6", "127.0.0.2:7"});
        list.apply(0, {working(), "2001:db8:1::1"});
        QCOMPARE(ProxyFilter::inCountries({"de", "Us"}).rows(list), (std::vector<int>{0, 1, 3}));
        QCOMPARE(ProxyFilter::inNetworks({64502, 64504}).rows(list), (std::vector<int>{2, 5, 6}));
        QCOMPARE(ProxyFilter::inNetworks({64503}).rows(list), std::vector<int>());
        QStringList counts;
        for (const ProxyList::CountryCount &count : list.countryCounts())
            counts << count.code + u'=' + QString::number(count.rows);
        // Most first, a tie by code; the rows without a country last.
        QCOMPARE(counts.join(u' '), "DE=2 FR=2 US=1 =2");

        const std::vector<int> rows{0, 4, 6};
        ProxyWriter::Fields fields;
        const QByteArray plain = ProxyWriter::tabSeparated(list, rows, fields);
        QVERIFY(!plain.contains("US"));
        fields.location = true;
        QCOMPARE(ProxyWriter::tabSeparated(list, rows, fields), "127.0.0.3:1\tWorking\tY\t-\t2001:db8:1::1\t-\tUS\n"
                                                                "10.0.0.1:5\t\t\t-\t-\t-\t-\n"
                                                                "127.0.0.2:7\t\t\t-\t-\t-\t-\n");
        const QJsonArray json = QJsonDocument::fromJson(ProxyWriter::json(list, rows, fields)).array();
        QCOMPARE(json.size(), 3);
        const auto keys = [&json](int row) {
            const QJsonObject object = json[row].toObject();
            return QJsonDocument(QJsonArray{object["country"], object["asn"], object["as_name"], object["flags"]})
                .toJson(QJsonDocument::Compact);
        };
        QCOMPARE(keys(0), R"(["US",null,null,["anonymous-proxy","anycast"]])");
        QCOMPARE(keys(1), "[null,null,null,null]");
        QCOMPARE(keys(2), R"([null,64504,null,["anonymous-proxy"]])");
        QVERIFY(!ProxyWriter::json(list, rows).contains("country"));
    }
};

QTEST_GUILESS_MAIN(TestLocation)
#include "tst_location.moc"

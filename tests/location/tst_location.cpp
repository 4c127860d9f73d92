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
// Code, name, AS, its name and the flags' tokens, one line; "none" when nothing was found.
QString described(const std::optional<GeoInfo> &info)
{
    if (!info)
        return "none";
    QStringList line{info->countryCode, info->countryName, QString::number(info->asn), info->asName};
    for (int bit = 0; bit < GeoFlagCount; ++bit)
        line << (info->flags.testFlag(GeoFlag(1 << bit)) ? GeoInfo::token(GeoFlag(1 << bit)) : "");
    return line.join(u'|');
}

// Each row's country code as the list keeps it beside the row, "-" for none; it must agree with a fresh lookup.
QString codes(const ProxyList &list)
{
    QString found;
    for (int r = 0; r < list.count(); ++r) {
        const QString code = list.countryCode(r);
        found += (list.locate(r) ? list.locate(r)->countryCode : "") == code ? code.isEmpty() ? "-" : code : "!";
        found += u' ';
    }
    return found.trimmed();
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

    // The most specific network holding the address wins; IPv4 is looked up mapped, as libloc keeps it. Twice: the
    // names come from the caches the second time.
    void lookUp()
    {
        const std::pair<QString, QString> cases[] = {
            {"127.0.0.1", "DE|Germany|64500|Test Net One|||"},
            {"::ffff:127.0.0.3", "NL|Netherlands|64501|Test Net Three|||anycast"},
            {"127.0.0.44", "FR|France|64502|Loopback Ltd|||"},
            {"127.0.0.2", "||64504||anonymous-proxy||"},
            {"2001:db8::5", "JP|Japan|64503|Documentation, \"AS\"||satellite-provider|"},
            {"2001:DB8:1::9", "US|United States|0||anonymous-proxy||anycast"},
            {"10.0.0.1", "none"},
            {"localhost", "none"}};
        const GeoDatabase database(m_path);
        QVERIFY2(database.isOpen(), qPrintable(database.problem()));
        for (const auto &[address, found] : cases) {
            QCOMPARE(described(database.lookUp(address)), found);
            QCOMPARE(described(database.lookUp(QHostAddress(address))), found);
        }
        // Made now: outdated a year on, with how to update it.
        const QDateTime &made = database.createdAt();
        QVERIFY(qAbs(made.secsTo(QDateTime::currentDateTimeUtc())) < 600 && database.outdatedNote().isEmpty());
        QVERIFY(!database.isOutdated(made.addYears(1).addSecs(-1)) && database.isOutdated(made.addYears(1).addDays(1)));
        QVERIFY(database.outdatedNote(made.addYears(2)).contains("\"location update\" as root"));
        // The database Debian ships opens, and a documentation address finds nothing or something, without harm.
        const GeoDatabase shipped;
        const std::optional<GeoInfo> inShipped = shipped.lookUp(u"192.0.2.1");
        QVERIFY2(!shipped.isOpen() ||
                     (shipped.createdAt().isValid() && (!inShipped || inShipped->countryCode.size() != 1)),
                 qPrintable(shipped.problem()));
    }

    // A missing or unreadable file is no error: nothing is found, and one line says why. A file that appears, or
    // that `location update` moves over the old, is read by the next run; an unchanged one is kept. Each thread has
    // its own, of the path chosen.
    void reopening()
    {
        const QString path = m_dir.filePath("later.db"), junk = writeFile(m_dir.filePath("junk.db"), "junk");
        GeoDatabase database(path);
        QVERIFY2(database.problem().contains("cannot read " + path), qPrintable(database.problem()));
        QVERIFY(!database.lookUp(u"127.0.0.1") && !database.createdAt().isValid() && !database.isOutdated());
        QCOMPARE(database.summary(), database.problem());
        QVERIFY(GeoDatabase(junk).problem().contains(junk + " is not a location database"));
        QVERIFY(!TestGeoDatabase::write(path).isEmpty() && database.reopenIfChanged());
        QCOMPARE(database.lookUp(u"127.0.0.1")->countryCode, "DE");
        QVERIFY(database.problem().isEmpty() && database.summary().startsWith("location database: " + path + ", of "));
        QVERIFY(!database.reopenIfChanged());
        QVERIFY(!TestGeoDatabase::write(path, {{"127.0.0.1/32", "NL", 64501, 0}}).isEmpty());
        QVERIFY(database.reopenIfChanged());
        QCOMPARE(described(database.lookUp(u"127.0.0.1")), "NL|Netherlands|64501|Test Net Three|||");
        QVERIFY(!database.lookUp(u"127.0.0.44"));
        const GeoDatabase *mine = &GeoDatabase::forThisThread(), *other = nullptr;
        std::thread([&other] { other = &GeoDatabase::forThisThread(); }).join();
        QVERIFY(other && other != mine && &GeoDatabase::forThisThread() == mine);
        // A list's countries follow the database chosen, not the one it first asked.
        ProxyList list;
        list.addRows({"127.0.0.1:1"});
        QCOMPARE(list.countryCode(0), "DE");
        GeoDatabase::setChosenPath(path);
        QCOMPARE(GeoDatabase::forThisThread().lookUp(u"127.0.0.1")->countryCode, "NL");
        QCOMPARE(list.countryCode(0), "NL");
        GeoDatabase::setChosenPath(m_path);
    }

    // The address a row is located by: its exit address, else the address its name was probed at, else its own,
    // read with the loader's number rules; nothing for a name not yet looked up. Kept by id through a merge, a
    // filter and a sort; a reset drops what a check found.
    void rowLocation()
    {
        ProxyList list;
        list.addRows({"127.0.0.1:80", "127.000.000.003:80"});
        ProxyRows checked;
        checked.append("socks5://localhost:1080");
        checked.apply(0, {ProxyResult::failed(ProxyStatus::Timeout), {}, {}, "127.0.0.1"});
        list.appendRows(std::move(checked));
        list.addRows({"socks5://localhost:1081", "http://[2001:db8::1]:8080", "127.0.0.1:81", "10.0.0.1:80"});
        QCOMPARE(codes(list), "DE NL DE - JP DE -");
        list.apply(1, {ProxyResult::working(true), "127.0.0.44"});
        list.apply(5, {ProxyResult::working(true), "2001:db8:1::1", {}, "127.0.0.3"});
        QCOMPARE(codes(list), "DE FR DE - JP US -");
        QCOMPARE(list.location(4)->asName, "Documentation, \"AS\"");
        list.keepRows({true, true, true, true, true, true, false});
        list.sort(ListColumn::Proxy, Qt::DescendingOrder, {});
        QCOMPARE(codes(list), "- DE JP FR US DE");
        list.resetResults({false, true, false, true, true, false});
        QCOMPARE(codes(list), "- - JP NL DE DE");
        // By the Country column: rows of no known country last, either way.
        list.sort(ListColumn::Country, Qt::AscendingOrder, {});
        QCOMPARE(codes(list), "DE DE JP NL - -");
        list.sort(ListColumn::Country, Qt::DescendingOrder, {});
        QCOMPARE(codes(list), "NL JP DE DE - -");
    }

    // Filters by country (any case) and network, the countries present and the printed forms.
    void filtersAndForms()
    {
        ProxyList list;
        list.addRows(
            {"127.0.0.3:1", "127.0.0.1:2", "127.0.0.44:3", "127.0.0.1:4", "10.0.0.1:5", "127.0.0.45:6", "127.0.0.2:7"});
        list.apply(0, {ProxyResult::working(true), "2001:db8:1::1"});
        QCOMPARE(ProxyFilter::inCountries({"de", "Us"}).rows(list), (std::vector<int>{0, 1, 3}));
        QCOMPARE(ProxyFilter::inNetworks({64502, 64504}).rows(list), (std::vector<int>{2, 5, 6}));
        QStringList counts;
        for (const ProxyList::CountryCount &count : list.countryCounts())
            counts << count.code + u'=' + QString::number(count.rows);
        // Most first, a tie by code; the rows without a country last.
        QCOMPARE(counts.join(u' '), "DE=2 FR=2 US=1 =2");

        const std::vector<int> rows{0, 4, 6};
        QVERIFY(!ProxyWriter::tabSeparated(list, rows).contains("US") && !ProxyWriter::json(list, rows).contains("US"));
        const ProxyWriter::Fields fields{false, false, true};
        QCOMPARE(ProxyWriter::tabSeparated(list, rows, fields),
                 "127.0.0.3:1\tWorking\tY\t-\t2001:db8:1::1\t-\tUS\n10.0.0.1:5\t\t\t-\t-\t-\t-\n"
                 "127.0.0.2:7\t\t\t-\t-\t-\t-\n");
        const QByteArray json = ProxyWriter::json(list, rows, fields);
        for (const char *keys :
             {R"("country": "US", "asn": null, "as_name": null, "flags": ["anonymous-proxy", "anycast"]})",
              R"("country": null, "asn": null, "as_name": null, "flags": null})",
              R"("country": null, "asn": 64504, "as_name": null, "flags": ["anonymous-proxy"]})"})
            QVERIFY2(json.contains(keys), json.constData());
    }
};

QTEST_GUILESS_MAIN(TestLocation)
#include "tst_location.moc"

// Location benchmark: lookups in the location database, and what a row's country costs a list of a million rows.
//
//   bench_location lookups [N] [PATH]   N addresses (1,000,000 by default; 1 in 4 IPv6) looked up on one core in the
//                                       database at PATH (Debian's by default): codes alone, then with names
//   bench_location list [N] [PATH]      a list of N rows (half with an exit address): the countries are worked out
//                                       when asked, so the load pays nothing; what a pass over every row costs is
//                                       measured (the countries present with their counts, then a filter by country)
#include "bench/BenchStep.h"
#include "location/GeoDatabase.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyList.h"

#include <QCoreApplication>

#include <cstdio>
#include <vector>

namespace {
using BenchStep::mix;
using BenchStep::Step;

// Spread over the whole address space: no traffic goes anywhere, they are only looked up.
QHostAddress address(quint64 i)
{
    const quint64 h = mix(i);
    if (i % 4 == 3) {
        Q_IPV6ADDR bytes = {};
        bytes.c[0] = 0x20; // 2000::/3, where the networks are
        for (int b = 1; b < 16; ++b)
            bytes.c[b] = quint8(mix(h + quint64(b)) >> 7);
        return QHostAddress(bytes);
    }
    return QHostAddress(quint32(1 + h % 0xDF000000));
}

bool openedOrSaid(const GeoDatabase &database)
{
    if (!database.isOpen())
        std::printf("%s\n", qPrintable(database.problem()));
    else
        std::printf("%s\n", qPrintable(database.summary()));
    return database.isOpen();
}

int lookups(int count, const QString &path)
{
    const GeoDatabase database(path);
    if (!openedOrSaid(database))
        return 1;
    std::vector<QHostAddress> addresses;
    addresses.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        addresses.push_back(address(quint64(i)));
    int found = 0;
    double codes = 0;
    {
        const Step step("lookups, codes only");
        const double start = BenchStep::cpuMs();
        for (const QHostAddress &a : addresses)
            found += database.locate(a).has_value();
        codes = BenchStep::cpuMs() - start;
    }
    double named = 0;
    {
        const Step step("lookups with country and AS names");
        const double start = BenchStep::cpuMs();
        for (const QHostAddress &a : addresses)
            found += database.lookUp(a).has_value();
        named = BenchStep::cpuMs() - start;
    }
    const double perLookup = named * 1000.0 / count;
    std::printf("%d lookups, %d found; %.2f us each for codes, %.2f us with names, on one core (target at most "
                "10 us)\n",
                2 * count, found, codes * 1000.0 / count, perLookup);
    return perLookup <= 10.0 ? 0 : 1;
}

int list(int count, const QString &path)
{
    GeoDatabase::setChosenPath(path);
    if (!openedOrSaid(GeoDatabase::forThisThread()))
        return 1;
    ProxyList proxies;
    {
        ProxyRows rows;
        rows.reserve(count, qsizetype(count) * 20);
        for (int i = 0; i < count; ++i) {
            const QHostAddress a = address(quint64(i) * 4); // IPv4 rows
            rows.append(QByteArray(a.toString().toLatin1() + ':' + QByteArray::number(1024 + i % 60000)));
        }
        proxies.replaceRows(std::move(rows));
        for (int r = 0; r < count; r += 2)
            proxies.apply(r, {ProxyResult::working(true), address(quint64(r) * 4 + 1).toString()});
    }
    std::printf("%d rows loaded, half of them with an exit address; no country is stored at load\n", count);
    qsizetype countries = 0;
    double cpu = 0;
    {
        const Step step("countries present with their counts");
        const double start = BenchStep::cpuMs();
        countries = proxies.countryCounts().size();
        cpu = BenchStep::cpuMs() - start;
    }
    qsizetype kept = 0;
    {
        const Step step("filter: keep DE and NL");
        kept = ProxyFilter::inCountries({QStringLiteral("DE"), QStringLiteral("NL")}).count(proxies);
    }
    std::printf("%lld countries; %lld rows in DE or NL; a pass over every row %.0f ms of CPU (target for the load: "
                "at most 500 ms more)\n",
                qlonglong(countries), qlonglong(kept), cpu);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.value(1);
    const int count = arguments.size() > 2 ? arguments[2].toInt() : 1000000;
    const QString path = arguments.value(3);
    if (count < 1 || (mode != QLatin1String("lookups") && mode != QLatin1String("list"))) {
        std::fprintf(stderr, "usage: bench_location lookups|list [N] [PATH]\n");
        return 2;
    }
    return mode == QLatin1String("lookups") ? lookups(count, path) : list(count, path);
}

#include "tests/common/TestGeoDatabase.h"

#include <QFile>

#include <cstdio>
#include <memory>

extern "C" {
#include <libloc/writer.h>
}

namespace {
template <typename T, T *(*Free)(T *)> using Owned = std::unique_ptr<T, decltype([](T *object) { Free(object); })>;
} // namespace

const std::vector<TestGeoDatabase::Network> TestGeoDatabase::Networks = {
    {"127.0.0.0/8", "FR", 64502, 0},
    {"127.0.0.1/32", "DE", 64500, 0},
    {"127.0.0.2/32", "", 64504, LOC_NETWORK_FLAG_ANONYMOUS_PROXY},
    {"127.0.0.3/32", "NL", 64501, LOC_NETWORK_FLAG_ANYCAST},
    {"2001:db8::/32", "JP", 64503, LOC_NETWORK_FLAG_SATELLITE_PROVIDER},
    {"2001:db8:1::/48", "US", 0, LOC_NETWORK_FLAG_ANONYMOUS_PROXY | LOC_NETWORK_FLAG_ANYCAST},
};

QString TestGeoDatabase::write(const QString &path, const std::vector<Network> &networks)
{
    loc_ctx *context = nullptr;
    loc_writer *writer = nullptr;
    if (loc_new(&context) != 0 || loc_writer_new(context, &writer, nullptr, nullptr) != 0)
        return {};
    const Owned<loc_ctx, loc_unref> ownContext(context);
    const Owned<loc_writer, loc_writer_unref> ownWriter(writer);
    bool ok = true;
    for (const Network &net : networks) {
        loc_network *network = nullptr;
        ok = ok && loc_writer_add_network(writer, &network, net.prefix) == 0;
        const Owned<loc_network, loc_network_unref> owned(network);
        ok = ok && (!net.country[0] || loc_network_set_country_code(network, net.country) == 0) &&
             loc_network_set_asn(network, net.asn) == 0 &&
             (!net.flags || loc_network_set_flag(network, net.flags) == 0);
    }
    // In order, as libloc searches them: its writer keeps them as added.
    for (const auto &[number, name] : {std::pair{64500u, "Test Net One"},
                                       {64501u, "Test Net Three"},
                                       {64502u, "Loopback Ltd"},
                                       {64503u, "Documentation, \"AS\""}}) {
        loc_as *as = nullptr;
        ok = ok && loc_writer_add_as(writer, &as, number) == 0;
        const Owned<loc_as, loc_as_unref> owned(as);
        ok = ok && loc_as_set_name(as, name) == 0;
    }
    // libloc 0.9's writer keeps a reference to each country that it never lets go: it is given back after writing.
    std::vector<Owned<loc_country, loc_country_unref>> kept;
    for (const auto &[code, name] : {std::pair{"DE", "Germany"},
                                     {"FR", "France"},
                                     {"JP", "Japan"},
                                     {"NL", "Netherlands"},
                                     {"US", "United States"}}) {
        loc_country *country = nullptr;
        ok = ok && loc_writer_add_country(writer, &country, code) == 0;
        kept.emplace_back(country);
        ok = ok && loc_country_set_name(country, name) == 0;
    }
    // Written beside the path and moved over it, as `location update` replaces a database.
    const QByteArray target = QFile::encodeName(path), temporary = target + ".new";
    std::FILE *file = ok ? std::fopen(temporary.constData(), "w") : nullptr;
    ok = file && loc_writer_write(writer, file, LOC_DATABASE_VERSION_LATEST) == 0;
    ok = file && std::fclose(file) == 0 && ok && std::rename(temporary.constData(), target.constData()) == 0;
    for (const auto &country : kept)
        loc_country_unref(country.get());
    return ok ? path : QString();
}

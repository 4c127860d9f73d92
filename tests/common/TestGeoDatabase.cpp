#include "tests/common/TestGeoDatabase.h"

#include <QFile>

#include <cstdio>
#include <memory>

extern "C" {
#include <libloc/writer.h>
}

namespace {
template <typename T, T *(*Free)(T *)> struct Unref
{
    void operator()(T *object) const { Free(object); }
};
using ContextPtr = std::unique_ptr<loc_ctx, Unref<loc_ctx, loc_unref>>;
using WriterPtr = std::unique_ptr<loc_writer, Unref<loc_writer, loc_writer_unref>>;
using NetworkPtr = std::unique_ptr<loc_network, Unref<loc_network, loc_network_unref>>;
using AsPtr = std::unique_ptr<loc_as, Unref<loc_as, loc_as_unref>>;
using CountryPtr = std::unique_ptr<loc_country, Unref<loc_country, loc_country_unref>>;

bool addNetwork(loc_writer *writer, const TestGeoDatabase::Network &net)
{
    loc_network *made = nullptr;
    if (loc_writer_add_network(writer, &made, net.prefix) != 0)
        return false;
    const NetworkPtr network(made);
    if (net.country[0] && loc_network_set_country_code(network.get(), net.country) != 0)
        return false;
    return loc_network_set_asn(network.get(), net.asn) == 0 &&
           (net.flags == 0 || loc_network_set_flag(network.get(), net.flags) == 0);
}
} // namespace

const std::vector<TestGeoDatabase::Network> TestGeoDatabase::Networks = {
    {"127.0.0.0/8", "FR", 64502, 0},
    {"127.0.0.1/32", "DE", 64500, 0},
    {"127.0.0.2/32", "", 64504, LOC_NETWORK_FLAG_ANONYMOUS_PROXY},
    {"127.0.0.3/32", "NL", 64501, LOC_NETWORK_FLAG_ANYCAST},
    {"2001:db8::/32", "JP", 64503, LOC_NETWORK_FLAG_SATELLITE_PROVIDER},
    {"2001:db8:1::/48", "US", 0, LOC_NETWORK_FLAG_ANONYMOUS_PROXY | LOC_NETWORK_FLAG_ANYCAST},
};

const std::vector<std::pair<const char *, const char *>> TestGeoDatabase::Countries = {
    {"DE", "Germany"}, {"FR", "France"}, {"JP", "Japan"}, {"NL", "Netherlands"}, {"US", "United States"}};

const std::vector<std::pair<quint32, const char *>> TestGeoDatabase::Systems = {
    {64500, "Test Net One"}, {64501, "Test Net Three"}, {64502, "Loopback Ltd"}, {64503, "Documentation, \"AS\""}};

QString TestGeoDatabase::write(const QString &path, const std::vector<Network> &networks)
{
    loc_ctx *madeContext = nullptr;
    if (loc_new(&madeContext) != 0)
        return {};
    const ContextPtr context(madeContext);
    loc_writer *madeWriter = nullptr;
    if (loc_writer_new(context.get(), &madeWriter, nullptr, nullptr) != 0)
        return {};
    const WriterPtr writer(madeWriter);
    loc_writer_set_vendor(writer.get(), "Korvane tests");
    for (const Network &network : networks) {
        if (!addNetwork(writer.get(), network))
            return {};
    }
    for (const auto &[number, name] : Systems) {
        loc_as *made = nullptr;
        if (loc_writer_add_as(writer.get(), &made, number) != 0)
            return {};
        const AsPtr as(made);
        loc_as_set_name(as.get(), name);
    }
    // In order of their codes, as libloc searches them; its writer keeps them as added.
    for (const auto &[code, name] : Countries) {
        loc_country *made = nullptr;
        if (loc_writer_add_country(writer.get(), &made, code) != 0)
            return {};
        const CountryPtr country(made);
        loc_country_set_name(country.get(), name);
    }
    // Written beside the path and moved over it, as `location update` replaces a database.
    const QString temporary = path + QStringLiteral(".new");
    std::FILE *file = std::fopen(QFile::encodeName(temporary).constData(), "w");
    if (!file)
        return {};
    const bool written = loc_writer_write(writer.get(), file, LOC_DATABASE_VERSION_LATEST) == 0;
    if (std::fclose(file) != 0 || !written)
        return {};
    return std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0 ? path
                                                                                                           : QString();
}

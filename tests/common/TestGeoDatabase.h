#pragma once

#include <QString>

#include <utility>
#include <vector>

// A small location database the tests write themselves with libloc's writer, so that what they look up is exact
// and independent of the shipped data.
namespace TestGeoDatabase {
struct Network
{
    const char *prefix;
    // Empty for none.
    const char *country;
    quint32 asn;
    // libloc's LOC_NETWORK_FLAG_* bits.
    int flags;
};
// 127.0.0.0/8 FR (AS 64502) holding 127.0.0.1/32 DE (64500), 127.0.0.2/32 with no country (64504, no name, anonymous
// proxy) and 127.0.0.3/32 NL (64501, anycast); 2001:db8::/32 JP (64503, satellite) holding 2001:db8:1::/48 US (no
// AS, anonymous proxy and anycast).
extern const std::vector<Network> Networks;
extern const std::vector<std::pair<const char *, const char *>> Countries;
extern const std::vector<std::pair<quint32, const char *>> Systems;

// Writes the database of those networks (and every country's and AS's name) to path; returns the path, or empty on
// failure.
QString write(const QString &path, const std::vector<Network> &networks = Networks);
} // namespace TestGeoDatabase

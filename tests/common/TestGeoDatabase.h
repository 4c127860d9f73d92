#pragma once

#include <QString>

#include <vector>

// A small location database the tests write with libloc's writer: exact, and independent of the shipped data.
namespace TestGeoDatabase {
// A network: its prefix, country ("" for none), AS number and libloc's LOC_NETWORK_FLAG_* bits.
struct Network
{
    const char *prefix;
    const char *country;
    quint32 asn;
    int flags;
};
// 127.0.0.0/8 FR holding 127.0.0.1/32 DE, 127.0.0.2/32 (no country) and 127.0.0.3/32 NL; 2001:db8::/32 JP holding
// 2001:db8:1::/48 US.
extern const std::vector<Network> Networks;
// The database of the networks, with every country's and AS's name, written to path; returns the path, or empty.
QString write(const QString &path, const std::vector<Network> &networks = Networks);
} // namespace TestGeoDatabase

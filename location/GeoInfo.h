#pragma once

#include <QFlags>
#include <QString>
#include <QtGlobal>

// What the location database tells of an address's network, beyond its country.
enum class GeoFlag : quint8 {
    // The database's A1: an anonymising proxy or VPN service.
    AnonymousProxy = 1 << 0,
    // A2: a satellite provider, whose users may be anywhere under its footprint.
    SatelliteProvider = 1 << 1,
    // A3: an anycast network, answered from wherever is nearest.
    Anycast = 1 << 2,
};
inline constexpr int GeoFlagCount = 3;
Q_DECLARE_FLAGS(GeoFlags, GeoFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(GeoFlags)

namespace EnumCount {
// Names the last flag, so that one added after it must move GeoFlagCount on.
constexpr bool isLast(GeoFlag flag)
{
    switch (flag) {
    case GeoFlag::AnonymousProxy:
    case GeoFlag::SatelliteProvider:
        return false;
    case GeoFlag::Anycast:
        return true;
    }
    return false;
}
} // namespace EnumCount
static_assert(EnumCount::isLast(GeoFlag(1 << (GeoFlagCount - 1))), "GeoFlagCount counts every flag");

// Where an address is, as the location database has it: the network it belongs to and what is known of it.
struct GeoInfo
{
    // Two capital letters ("DE"); empty when the database gives the network no country.
    QString countryCode;
    // In English, as the database gives it; empty when not asked for or not known.
    QString countryName;
    // The autonomous system that announces the network; 0 when none is known.
    quint32 asn = 0;
    // Its name; empty when not asked for or not known.
    QString asName;
    GeoFlags flags;

    // The flag's token in korvane-cli's JSON.
    static constexpr const char *token(GeoFlag flag)
    {
        switch (flag) {
        case GeoFlag::AnonymousProxy:
            return "anonymous-proxy";
        case GeoFlag::SatelliteProvider:
            return "satellite-provider";
        case GeoFlag::Anycast:
            break;
        }
        return "anycast";
    }
    // The flag in the window's words, to be translated in the "GeoInfo" context.
    static constexpr const char *words(GeoFlag flag)
    {
        switch (flag) {
        case GeoFlag::AnonymousProxy:
            return QT_TRANSLATE_NOOP("GeoInfo", "anonymous proxy");
        case GeoFlag::SatelliteProvider:
            return QT_TRANSLATE_NOOP("GeoInfo", "satellite provider");
        case GeoFlag::Anycast:
            break;
        }
        return QT_TRANSLATE_NOOP("GeoInfo", "anycast");
    }
};

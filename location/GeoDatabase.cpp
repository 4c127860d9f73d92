#include "location/GeoDatabase.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

extern "C" {
#include <libloc/as.h>
#include <libloc/country.h>
#include <libloc/database.h>
#include <libloc/libloc.h>
#include <libloc/network.h>
}

namespace {
// One object of libloc's, given back with its own unref.
template <typename T, T *(*Free)(T *)> struct Unref
{
    void operator()(T *object) const { Free(object); }
};
using NetworkPtr = std::unique_ptr<loc_network, Unref<loc_network, loc_network_unref>>;
using CountryPtr = std::unique_ptr<loc_country, Unref<loc_country, loc_country_unref>>;
using AsPtr = std::unique_ptr<loc_as, Unref<loc_as, loc_as_unref>>;

struct FileClose
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

// libloc writes its own complaints to standard error; the one line problem() gives is enough.
void silent(loc_ctx *, int, const char *, int, const char *, const char *, va_list) {}

// The chosen path is set once at start, before any thread looks up; a plain global is enough.
QString &chosen()
{
    static QString path;
    return path;
}

constexpr std::pair<int, GeoFlag> NetworkFlags[] = {{LOC_NETWORK_FLAG_ANONYMOUS_PROXY, GeoFlag::AnonymousProxy},
                                                    {LOC_NETWORK_FLAG_SATELLITE_PROVIDER, GeoFlag::SatelliteProvider},
                                                    {LOC_NETWORK_FLAG_ANYCAST, GeoFlag::Anycast}};
static_assert(std::size(NetworkFlags) == GeoFlagCount, "every flag is read from the network");
} // namespace

void GeoDatabase::ContextUnref::operator()(loc_ctx *context) const
{
    loc_unref(context);
}

void GeoDatabase::DatabaseUnref::operator()(loc_database *database) const
{
    loc_database_unref(database);
}

GeoDatabase::GeoDatabase(const QString &path) : m_chosen(path)
{
    open();
}

GeoDatabase::~GeoDatabase() = default;

QStringList GeoDatabase::defaultPaths()
{
    return {QStringLiteral("/var/lib/location/database.db"), QStringLiteral("/usr/share/libloc-location/location.db")};
}

void GeoDatabase::setChosenPath(const QString &path)
{
    chosen() = path;
}

QString GeoDatabase::chosenPath()
{
    return chosen();
}

GeoDatabase &GeoDatabase::forThisThread()
{
    thread_local std::unique_ptr<GeoDatabase> database;
    if (!database || database->m_chosen != chosen())
        database = std::make_unique<GeoDatabase>(chosen());
    return *database;
}

void GeoDatabase::open()
{
    static std::atomic<quint64> openings = 0;
    m_serial = ++openings;
    m_database.reset();
    m_countryNames.clear();
    m_asNames.clear();
    m_createdAt = {};
    const QStringList paths = m_chosen.isEmpty() ? defaultPaths() : QStringList{m_chosen};
    QStringList problems;
    for (const QString &path : paths) {
        m_path = path;
        m_stamp = stampOf(path);
        const QString problem = openFile(path);
        if (problem.isEmpty()) {
            m_problem.clear();
            return;
        }
        problems.append(problem);
    }
    m_problem = QStringLiteral("no location database, so no country is known: ") + problems.join(QStringLiteral("; "));
}

QString GeoDatabase::openFile(const QString &path)
{
    const std::unique_ptr<std::FILE, FileClose> file(std::fopen(QFile::encodeName(path).constData(), "r"));
    if (!file)
        return QStringLiteral("cannot read %1 (%2)").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (!m_context) {
        loc_ctx *context = nullptr;
        if (loc_new(&context) != 0)
            return QStringLiteral("libloc could not start");
        m_context.reset(context);
        loc_set_log_fn(context, silent);
    }
    // libloc keeps a descriptor of its own and maps the file: ours may close.
    loc_database *database = nullptr;
    if (loc_database_new(m_context.get(), &database, file.get()) != 0 || !database)
        return QStringLiteral("%1 is not a location database").arg(path);
    m_database.reset(database);
    m_createdAt = QDateTime::fromSecsSinceEpoch(loc_database_created_at(database), Qt::UTC);
    return {};
}

std::optional<GeoDatabase::FileStamp> GeoDatabase::stampOf(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileStamp{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
                     qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

bool GeoDatabase::reopenIfChanged()
{
    // Without a database open, a file may have appeared since: looking again costs a failed open.
    if (isOpen() && stampOf(m_path) == m_stamp)
        return false;
    open();
    return true;
}

QString GeoDatabase::summary() const
{
    if (!isOpen())
        return m_problem;
    return QStringLiteral("location database: %1, of %2").arg(m_path, m_createdAt.date().toString(Qt::ISODate));
}

bool GeoDatabase::isOutdated(const QDateTime &now) const
{
    return m_createdAt.isValid() && m_createdAt.addYears(1) < now;
}

QString GeoDatabase::outdatedNote(const QDateTime &now) const
{
    if (!isOutdated(now))
        return {};
    return QStringLiteral("the location database %1 is of %2, over a year old, so countries may be wrong: update it "
                          "with \"location update\" as root")
        .arg(m_path, m_createdAt.date().toString(Qt::ISODate));
}

std::optional<GeoInfo> GeoDatabase::locate(const QHostAddress &address) const
{
    if (!m_database || address.isNull())
        return std::nullopt;
    // An IPv4 address is looked up as IPv4-mapped IPv6, as libloc keeps it.
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    in6_addr in6 = {};
    std::memcpy(&in6, bytes.c, sizeof in6);
    loc_network *found = nullptr;
    const int failed = loc_database_lookup(m_database.get(), &in6, &found);
    const NetworkPtr network(found);
    if (failed != 0 || !network)
        return std::nullopt;
    GeoInfo info;
    info.countryCode = QString::fromLatin1(loc_network_get_country_code(network.get()));
    info.asn = loc_network_get_asn(network.get());
    for (const auto &[bit, flag] : NetworkFlags) {
        if (loc_network_has_flag(network.get(), uint32_t(bit)))
            info.flags |= flag;
    }
    return info;
}

std::optional<GeoInfo> GeoDatabase::lookUp(const QHostAddress &address) const
{
    std::optional<GeoInfo> info = locate(address);
    if (info) {
        info->countryName = countryName(info->countryCode);
        info->asName = asName(info->asn);
    }
    return info;
}

std::optional<GeoInfo> GeoDatabase::lookUp(QStringView address) const
{
    return lookUp(QHostAddress(address.toString()));
}

QString GeoDatabase::countryName(const QString &code) const
{
    if (!m_database || code.size() != 2)
        return {};
    const auto cached = m_countryNames.constFind(code);
    if (cached != m_countryNames.cend())
        return *cached;
    loc_country *found = nullptr;
    const bool failed = loc_database_get_country(m_database.get(), &found, code.toLatin1().constData()) != 0;
    const CountryPtr country(found);
    QString name = failed || !country ? QString() : QString::fromUtf8(loc_country_get_name(country.get()));
    m_countryNames.insert(code, name);
    return name;
}

QString GeoDatabase::asName(quint32 asn) const
{
    if (!m_database || asn == 0)
        return {};
    const auto cached = m_asNames.constFind(asn);
    if (cached != m_asNames.cend())
        return *cached;
    loc_as *found = nullptr;
    const bool failed = loc_database_get_as(m_database.get(), &found, asn) != 0;
    const AsPtr as(found);
    QString name = failed || !as ? QString() : QString::fromUtf8(loc_as_get_name(as.get()));
    m_asNames.insert(asn, name);
    return name;
}

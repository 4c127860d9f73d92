#pragma once

#include "location/GeoInfo.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>

struct loc_ctx;
struct loc_database;

// The offline location database (libloc's format), opened once and memory-mapped by libloc, looked up by address.
// A database that is missing or cannot be read is no error: every lookup finds nothing, and problem() says why.
//
// libloc is not thread-safe: an object is used only on the thread that made it. Each thread that looks addresses up
// keeps its own through forThisThread(); they all map the same file, so another costs little memory.
class GeoDatabase
{
public:
    // The file at path; an empty path is the first of defaultPaths() that opens.
    explicit GeoDatabase(const QString &path = {});
    ~GeoDatabase();
    GeoDatabase(const GeoDatabase &) = delete;
    GeoDatabase &operator=(const GeoDatabase &) = delete;

    // Where Debian keeps the database: the copy `location update` refreshes first, then the packaged one.
    static QStringList defaultPaths();
    // The database every thread's forThisThread() opens: a path, or empty for defaultPaths(). Set at start, before
    // any thread looks an address up.
    static void setChosenPath(const QString &path);
    static QString chosenPath();
    // This thread's database of chosenPath(), opened at the first call; opened anew when the path chosen changed.
    static GeoDatabase &forThisThread();

    bool isOpen() const { return m_database != nullptr; }
    // The file opened; when none is, the one tried last.
    const QString &path() const { return m_path; }
    // Why no database is open, in a line; empty when one is.
    const QString &problem() const { return m_problem; }
    // When the database was made; invalid when none is open.
    const QDateTime &createdAt() const { return m_createdAt; }
    // A line for --version and the about page: the file and its date, or why there is none.
    QString summary() const;
    // Whether the database was made over a year before now: its networks have moved on since.
    bool isOutdated(const QDateTime &now = QDateTime::currentDateTimeUtc()) const;
    // The line that says so, and how to update it; empty when it is not outdated.
    QString outdatedNote(const QDateTime &now = QDateTime::currentDateTimeUtc()) const;
    // A number no other opening of a database in this process has had: what was read of one opening holds until
    // this changes.
    quint64 serial() const { return m_serial; }
    // Opens the file again when it changed (its inode, size or time of change) since it was opened, or when a
    // file has appeared where there was none: between runs, so that `location update` is seen without a restart.
    // True when it looked again.
    bool reopenIfChanged();

    // The country code, AS number and flags of the network holding the address, without names: what filters ask.
    // Nothing when no network holds it, or no database is open.
    std::optional<GeoInfo> locate(const QHostAddress &address) const;
    // The same with the country's and the AS's names.
    std::optional<GeoInfo> lookUp(const QHostAddress &address) const;
    // An address as text, IPv4 or IPv6 ("203.0.113.5", "2001:db8::1"); nothing for text that is no address.
    std::optional<GeoInfo> lookUp(QStringView address) const;
    QString countryName(const QString &code) const;
    QString asName(quint32 asn) const;

private:
    // What tells a file from the one it replaced.
    struct FileStamp
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 changed = 0;
        bool operator==(const FileStamp &) const = default;
    };
    struct ContextUnref
    {
        void operator()(loc_ctx *context) const;
    };
    struct DatabaseUnref
    {
        void operator()(loc_database *database) const;
    };

    void open();
    // The problem with the file, or empty when it opened.
    QString openFile(const QString &path);
    static std::optional<FileStamp> stampOf(const QString &path);

    QString m_chosen;
    QString m_path;
    QString m_problem;
    QDateTime m_createdAt;
    std::optional<FileStamp> m_stamp;
    quint64 m_serial = 0;
    std::unique_ptr<loc_ctx, ContextUnref> m_context;
    std::unique_ptr<loc_database, DatabaseUnref> m_database;
    // Each name read once: a list's rows share few countries and networks.
    mutable QHash<QString, QString> m_countryNames;
    mutable QHash<quint32, QString> m_asNames;
};

#include "history/HistoryStore.h"

#include "proxylist/ResultTokens.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>
#include <bit>
#include <memory>
#include <sqlite3.h>
#include <variant>

namespace {
// Long enough for the window and a korvane-cli run to take turns: each holds the file for one second's verdicts.
const QString ConnectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000");

// Each schema's statements, from the version before it: the first makes the file.
const char *const Migrations[] = {
    // Each proxy's summary: its checks, and one bit per check, the newest lowest, set for a working one.
    "CREATE TABLE proxies (id INTEGER PRIMARY KEY, text BLOB NOT NULL UNIQUE, checks INTEGER NOT NULL, "
    "recent INTEGER NOT NULL, first_seen INTEGER NOT NULL, last_working INTEGER, last_status TEXT NOT NULL);"
    "CREATE TABLE checks (proxy INTEGER NOT NULL REFERENCES proxies (id), at INTEGER NOT NULL, "
    "status TEXT NOT NULL, anonymity TEXT, grade TEXT, ms INTEGER, exit TEXT, protocol TEXT, echo_host TEXT, "
    "site TEXT, country TEXT)",
};
static_assert(std::size(Migrations) == HistoryStore::SchemaVersion, "one migration per schema version");

const QString SummaryColumns = QStringLiteral("checks, recent, first_seen, last_working, last_status");

// The word for the protocol a search found, or none.
const char *protocolWord(FoundProtocol found)
{
    switch (found) {
    case FoundProtocol::None:
        break;
    case FoundProtocol::Http:
        return "http";
    case FoundProtocol::Socks4:
        return "socks4";
    case FoundProtocol::Socks5:
        return "socks5";
    }
    return nullptr;
}

// Binds the text, or NULL when it is empty.
void bindText(sqlite3_stmt *statement, int place, QByteArrayView text)
{
    if (text.isEmpty())
        sqlite3_bind_null(statement, place);
    else
        sqlite3_bind_text(statement, place, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

ProxyStatus statusNamed(const QString &token)
{
    for (const StatusKind &kind : StatusKinds) {
        if (kind.verdict && token == QLatin1StringView(kind.token))
            return kind.status;
    }
    return ProxyStatus::Untested;
}

// A summary read with SummaryColumns from the query's column first on.
RowHistory summaryOf(const QSqlQuery &query, int first, int lastChecks)
{
    RowHistory history;
    history.checks = query.value(first).toLongLong();
    history.counted = int(std::min<qint64>({history.checks, lastChecks, HistoryStore::MostLastChecks}));
    const quint64 recent = query.value(first + 1).toULongLong();
    const quint64 counted = history.counted >= 64 ? ~quint64(0) : (quint64(1) << history.counted) - 1;
    history.working = std::popcount(recent & counted);
    history.firstSeen = query.value(first + 2).toLongLong();
    if (!query.isNull(first + 3))
        history.lastWorking = query.value(first + 3).toLongLong();
    history.lastStatus = statusNamed(query.value(first + 4).toString());
    return history;
}

QString errorText(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}
} // namespace

QString HistoryStore::defaultPath()
{
    // GenericDataLocation is $XDG_DATA_HOME, else ~/.local/share, whatever the program's name.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/korvane/history.sqlite");
}

HistoryStore::HistoryStore(QString path) : m_path(std::move(path))
{
    static std::atomic<int> stores{0};
    m_connection = QStringLiteral("korvane-history-%1").arg(stores++);
}

HistoryStore::~HistoryStore()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    database().close();
    QSqlDatabase::removeDatabase(m_connection);
}

QSqlDatabase HistoryStore::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

QString HistoryStore::failure(const QString &what, const QString &why) const
{
    return QStringLiteral("history %1: %2 (%3)").arg(m_path, what, why);
}

QString HistoryStore::execute(const QString &statement)
{
    QSqlQuery query(database());
    return query.exec(statement) ? QString() : errorText(query.lastError());
}

QString HistoryStore::open(bool mustExist)
{
    const QFileInfo file(m_path);
    if (mustExist && !file.exists())
        return failure(QStringLiteral("no such file"), QStringLiteral("no check has been kept there"));
    if (!QDir().mkpath(file.absolutePath()))
        return failure(QStringLiteral("cannot make its folder"), file.absolutePath());
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!database.isValid())
        return failure(QStringLiteral("Qt's SQLite driver is missing"), QStringLiteral("libqt6sql6-sqlite"));
    database.setDatabaseName(m_path);
    database.setConnectOptions(ConnectOptions);
    if (!database.open())
        return failure(QStringLiteral("cannot open it"), errorText(database.lastError()));
    if (QString why = migrate(); !why.isEmpty()) {
        database.close();
        return why;
    }
    m_open = true;
    return {};
}

QString HistoryStore::migrate()
{
    // The version, -1 for a file of another program (tables, and no version of ours); or the error that kept it
    // from being read.
    const auto readVersion = [this]() -> std::variant<int, QSqlError> {
        QSqlQuery query(database());
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
            return query.lastError();
        const int version = query.value(0).toInt();
        if (version == 0 && query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && query.next() &&
            query.value(0).toInt() > 0)
            return -1;
        return version;
    };
    std::variant<int, QSqlError> read = readVersion();
    const QString leftAlone = QStringLiteral("it is left as it is, and no check is kept");
    if (const QSqlError *error = std::get_if<QSqlError>(&read)) {
        // SQLITE_CORRUPT and SQLITE_NOTADB: the file's bytes are not a database; anything else kept it from being
        // read at all (too many open files, a folder that may not be read).
        if (error->nativeErrorCode() != QLatin1String("11") && error->nativeErrorCode() != QLatin1String("26"))
            return failure(QStringLiteral("cannot open it"), errorText(*error));
        return failure(QStringLiteral("not a Korvane history, or damaged: %1").arg(leftAlone), errorText(*error));
    }
    int version = std::get<int>(read);
    if (version < 0)
        return failure(QStringLiteral("not a Korvane history: %1").arg(leftAlone),
                       QStringLiteral("tables of another program"));
    if (version > SchemaVersion)
        return failure(QStringLiteral("written by a newer Korvane: %1").arg(leftAlone),
                       QStringLiteral("history version %1; this one knows up to %2").arg(version).arg(SchemaVersion));
    // From here on the file is ours to change.
    QString why = execute(QStringLiteral("PRAGMA journal_mode = WAL"));
    if (why.isEmpty())
        why = execute(QStringLiteral("PRAGMA synchronous = NORMAL"));
    // A check of many proxies touches each one's summary and index pages once: 64 MB of them keeps a run's pages
    // in memory rather than read back from the log.
    if (why.isEmpty())
        why = execute(QStringLiteral("PRAGMA cache_size = -65536"));
    // Where each write's records wait for their two statements: this connection's own, in memory.
    if (why.isEmpty())
        why = execute(QStringLiteral("PRAGMA temp_store = MEMORY"));
    if (why.isEmpty())
        why = execute(QStringLiteral(
            "CREATE TEMP TABLE staged (text BLOB, at INTEGER, working INTEGER, status TEXT, anonymity TEXT, "
            "grade TEXT, ms INTEGER, exit TEXT, protocol TEXT, echo_host TEXT, site TEXT, country TEXT)"));
    if (why.isEmpty() && version < SchemaVersion)
        why = execute(QStringLiteral("BEGIN IMMEDIATE"));
    // Another process may have brought the file forward while this one waited for it.
    if (why.isEmpty() && version < SchemaVersion) {
        read = readVersion();
        if (const int *now = std::get_if<int>(&read))
            version = *now;
        else
            why = errorText(std::get<QSqlError>(read));
    }
    for (int step = std::max(version, 0); why.isEmpty() && step < SchemaVersion; ++step) {
        for (const QString &statement : QString::fromLatin1(Migrations[step]).split(u';')) {
            if (why.isEmpty())
                why = execute(statement);
        }
        if (why.isEmpty())
            why = execute(QStringLiteral("PRAGMA user_version = %1").arg(step + 1));
    }
    if (version < SchemaVersion)
        why = why.isEmpty() ? execute(QStringLiteral("COMMIT")) : (execute(QStringLiteral("ROLLBACK")), why);
    return why.isEmpty() ? QString() : failure(QStringLiteral("cannot write to it"), why);
}

QString HistoryStore::stage(const std::vector<CheckRecord> &records)
{
    // Straight to SQLite, under Qt's connection: through QSqlQuery, binding a run's verdicts cost more than the
    // probes that gave them.
    const QVariant handle = database().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return QStringLiteral("not an SQLite connection");
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    sqlite3_stmt *made = nullptr;
    if (sqlite3_prepare_v2(connection, "INSERT INTO staged VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", -1, &made,
                           nullptr) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(connection));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> insert(made, &sqlite3_finalize);
    for (const CheckRecord &record : records) {
        const ProxyResult &result = record.result;
        const bool working = result.status == ProxyStatus::Working;
        sqlite3_stmt *row = insert.get();
        // The text as bytes: the proxies it is matched against keep theirs so.
        sqlite3_bind_blob(row, 1, record.text.constData(), int(record.text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(row, 2, record.at);
        sqlite3_bind_int(row, 3, working ? 1 : 0);
        bindText(row, 4, ResultTokens::status(result));
        bindText(row, 5, working ? ResultTokens::anonymity(result) : QByteArrayView());
        bindText(row, 6, ResultTokens::grade(result));
        if (result.ms)
            sqlite3_bind_int64(row, 7, *result.ms);
        else
            sqlite3_bind_null(row, 7);
        bindText(row, 8, record.exitAddress.toUtf8());
        bindText(row, 9, protocolWord(result.found));
        bindText(row, 10, record.echoHost.toUtf8());
        bindText(row, 11, record.site.toUtf8());
        bindText(row, 12, record.country.toUtf8());
        const int stepped = sqlite3_step(row);
        sqlite3_reset(row);
        if (stepped != SQLITE_DONE)
            return QString::fromUtf8(sqlite3_errmsg(connection));
    }
    return {};
}

QString HistoryStore::write(const std::vector<CheckRecord> &records)
{
    if (!m_open)
        return failure(QStringLiteral("not open"), QStringLiteral("nothing written"));
    // The records go to a table of this connection's own, in memory, then into the history in two statements: the
    // summaries, in the order the verdicts came, then the checks under their proxies' ids.
    QString why = execute(QStringLiteral("BEGIN IMMEDIATE"));
    if (why.isEmpty())
        why = stage(records);
    if (why.isEmpty())
        why = execute(QStringLiteral(
            "INSERT INTO proxies (text, checks, recent, first_seen, last_working, last_status) SELECT text, 1, "
            "working, at, CASE WHEN working THEN at END, status FROM staged WHERE true ORDER BY rowid "
            "ON CONFLICT (text) DO UPDATE SET checks = checks + 1, recent = (recent << 1) | excluded.recent, "
            "last_working = coalesce(excluded.last_working, last_working), last_status = excluded.last_status"));
    if (why.isEmpty())
        why = execute(QStringLiteral(
            "INSERT INTO checks SELECT proxies.id, at, status, anonymity, grade, ms, exit, protocol, echo_host, "
            "site, country FROM staged JOIN proxies USING (text) ORDER BY staged.rowid"));
    if (why.isEmpty())
        why = execute(QStringLiteral("DELETE FROM staged"));
    if (why.isEmpty() && (why = execute(QStringLiteral("COMMIT"))).isEmpty())
        return {};
    execute(QStringLiteral("ROLLBACK"));
    execute(QStringLiteral("DELETE FROM staged"));
    return failure(QStringLiteral("cannot write to it"), why);
}

Result<std::vector<std::optional<RowHistory>>> HistoryStore::histories(const std::vector<QByteArray> &texts,
                                                                       int lastChecks)
{
    std::vector<std::optional<RowHistory>> found(texts.size());
    QSqlQuery query(database());
    query.setForwardOnly(true);
    // Many texts are looked up faster in one pass over every proxy than one at a time.
    if (query.exec(QStringLiteral("SELECT max(id) FROM proxies")) && query.next() &&
        qint64(texts.size()) * 8 > query.value(0).toLongLong()) {
        Result<std::vector<std::pair<QByteArray, RowHistory>>> every = everyHistory(lastChecks);
        if (!every)
            return Failure{every.error()};
        QHash<QByteArrayView, const RowHistory *> byText;
        byText.reserve(qsizetype(every.value().size()));
        for (const auto &[text, history] : *every)
            byText.insert(text, &history);
        for (size_t i = 0; i < texts.size(); ++i) {
            if (const RowHistory *history = byText.value(texts[i]))
                found[i] = *history;
        }
        return found;
    }
    if (!query.prepare(QStringLiteral("SELECT %1 FROM proxies WHERE text = ?").arg(SummaryColumns)))
        return Failure{failure(QStringLiteral("cannot read it"), errorText(query.lastError()))};
    for (size_t i = 0; i < texts.size(); ++i) {
        query.bindValue(0, texts[i]);
        if (!query.exec())
            return Failure{failure(QStringLiteral("cannot read it"), errorText(query.lastError()))};
        if (query.next())
            found[i] = summaryOf(query, 0, lastChecks);
    }
    return found;
}

Result<std::vector<std::pair<QByteArray, RowHistory>>> HistoryStore::everyHistory(int lastChecks)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT text, %1 FROM proxies ORDER BY id").arg(SummaryColumns)))
        return Failure{failure(QStringLiteral("cannot read it"), errorText(query.lastError()))};
    std::vector<std::pair<QByteArray, RowHistory>> every;
    while (query.next())
        every.emplace_back(query.value(0).toByteArray(), summaryOf(query, 1, lastChecks));
    if (query.lastError().isValid())
        return Failure{failure(QStringLiteral("cannot read it"), errorText(query.lastError()))};
    return every;
}

Result<qint64> HistoryStore::forgetBefore(qint64 moment)
{
    QString why = execute(QStringLiteral("BEGIN IMMEDIATE"));
    QSqlQuery query(database());
    qint64 removed = 0;
    if (why.isEmpty() && query.prepare(QStringLiteral("DELETE FROM checks WHERE at < ?"))) {
        query.bindValue(0, moment);
        if (query.exec())
            removed = query.numRowsAffected();
    }
    // The summaries of the proxies that lost checks, from one pass over those left: the checks carry no index, so
    // that each verdict is written at the end of the file. The bits of the checks gone lie beyond those counted.
    const char *const summarise[] = {
        "CREATE TEMP TABLE kept (proxy INTEGER PRIMARY KEY, checks INTEGER, first_seen INTEGER, last_working "
        "INTEGER)",
        "INSERT INTO kept SELECT proxy, count(*), min(at), max(CASE WHEN status = 'Working' THEN at END) FROM checks "
        "GROUP BY proxy",
        "DELETE FROM proxies WHERE id NOT IN (SELECT proxy FROM kept)",
        "UPDATE proxies SET checks = kept.checks, first_seen = kept.first_seen, last_working = kept.last_working "
        "FROM kept WHERE kept.proxy = proxies.id AND proxies.checks <> kept.checks",
        "DROP TABLE kept"};
    for (const char *statement : summarise) {
        if (why.isEmpty() && !query.lastError().isValid())
            why = execute(QString::fromLatin1(statement));
    }
    if (why.isEmpty() && query.lastError().isValid())
        why = errorText(query.lastError());
    query.finish();
    if (why.isEmpty())
        why = execute(QStringLiteral("COMMIT"));
    if (why.isEmpty())
        return removed;
    execute(QStringLiteral("ROLLBACK"));
    return Failure{failure(QStringLiteral("cannot write to it"), why)};
}

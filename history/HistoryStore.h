#pragma once

#include "history/CheckRecord.h"
#include "proxylist/Result.h"
#include "proxylist/RowHistory.h"

#include <QString>

#include <optional>
#include <vector>

class QSqlDatabase;

// The history of checks in an SQLite file: every verdict, and for each proxy a summary the uptime is read from at
// once, however long its history. One store per thread (Qt SQL's rule), and several processes may write one file:
// WAL, and a writer waits for another's transaction to end. The file is never changed before its schema version is
// known to be this program's or an older one's, so a newer Korvane's history and a file that is not one are left
// as they are.
class HistoryStore
{
public:
    // The schema this program writes; an older file is brought forward to it on open.
    static constexpr int SchemaVersion = 1;
    // The uptime is counted over the last checks, at most this many.
    static constexpr int DefaultLastChecks = 10;
    static constexpr int MostLastChecks = 64;

    // $XDG_DATA_HOME/korvane/history.sqlite.
    static QString defaultPath();

    explicit HistoryStore(QString path);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    const QString &path() const { return m_path; }
    // Opens the file, making it and its folder when missing unless mustExist; empty on success, else why not, the
    // file named.
    QString open(bool mustExist = false);

    // The records in one transaction, each proxy's summary with them; empty on success, else why not.
    QString write(const std::vector<CheckRecord> &records);
    // The history of each text, nothing for one never checked; the uptime over the last lastChecks checks.
    Result<std::vector<std::optional<RowHistory>>> histories(const std::vector<QByteArray> &texts,
                                                             int lastChecks = DefaultLastChecks);
    // Every proxy the history holds, in the order each was first written.
    Result<std::vector<std::pair<QByteArray, RowHistory>>> everyHistory(int lastChecks = DefaultLastChecks);
    // Removes the checks made before the moment (milliseconds since the epoch), and the proxies left with none;
    // returns how many checks went.
    Result<qint64> forgetBefore(qint64 moment);

private:
    QSqlDatabase database() const;
    QString failure(const QString &what, const QString &why) const;
    QString migrate();
    QString execute(const QString &statement);
    // The records into the staging table; empty on success, else SQLite's words.
    QString stage(const std::vector<CheckRecord> &records);

    QString m_path;
    QString m_connection;
    bool m_open = false;
};

#pragma once

#include <QCoreApplication>
#include <QString>

#include <memory>

class CheckRun;
class HistoryRecorder;
class HistoryStore;
class ProxyList;
struct CliOptions;

// The history of checks as check and watch keep it: every verdict of the runs followed, written on the recorder's
// thread, and each row's history read back for --only up:N, "uptime" and watch's line. A history that cannot be
// opened or written is said once on standard error, and the check goes on without it.
class CliHistory
{
    Q_DECLARE_TR_FUNCTIONS(CliHistory)

public:
    explicit CliHistory(const CliOptions &options);
    ~CliHistory();

    // Opens the history, when the options keep one and it is not open yet.
    void start();
    void follow(const CheckRun &run, const ProxyList &list);
    // Every verdict so far committed, then each row's history set in the list.
    void annotate(ProxyList &list);
    // --recheck failed: keeps the rows whose last check found them not working; empty on success, else why the
    // history could not be read.
    QString keepFailed(ProxyList &list);

private:
    // Each row's history read into the list; empty on success, else why not.
    QString readInto(ProxyList &list);
    void tell(const QString &why);

    QString m_path;
    bool m_keeps;
    std::unique_ptr<HistoryRecorder> m_recorder;
    std::unique_ptr<HistoryStore> m_reader;
    bool m_told = false;
};

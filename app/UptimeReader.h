#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>

class HistoryRecorder;
class ProxyList;

// Reads what the history of checks says of the window's rows, and puts it beside them for the Uptime column and its
// filter: after a load, and after a run once its verdicts are committed. The reading runs on a thread of its own,
// so the window never waits on the database; what comes back is put beside the rows that are still there.
class UptimeReader : public QObject
{
    Q_OBJECT

public:
    explicit UptimeReader(ProxyList &list, QObject *parent = nullptr);
    // Waits for a reading under way.
    ~UptimeReader() override;

    // The history at path, written by recorder (waited for before each reading; it must outlive this) or by
    // another program when null. Nothing is read without a path.
    void setHistory(HistoryRecorder *recorder, const QString &path);
    // Reads the history of every row again.
    void refresh();

Q_SIGNALS:
    // A reading has been put beside the rows; why it failed when it did.
    void read(const QString &problem);

private:
    ProxyList &m_list;
    HistoryRecorder *m_recorder = nullptr;
    QString m_path;
    // Counts the readings: one that a later reading overtook is dropped.
    quint64 m_reading = 0;
    QThreadPool m_thread;
};

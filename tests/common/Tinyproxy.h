#pragma once

#include <QHostAddress>
#include <QProcess>

// A real tinyproxy of the test's own, in the foreground, with a configuration written into folder; stopped when
// this goes. bind: the address it connects out from.
class Tinyproxy
{
public:
    Tinyproxy(const QString &folder, const QHostAddress &listen, const QByteArray &bind);
    ~Tinyproxy()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }

    bool ready() const { return m_log.contains("Accepting connections"); }
    const QByteArray &log() const { return m_log; }
    const QString &row() const { return m_row; }

private:
    QString m_row; // the table row that points at this proxy
    QProcess m_process;
    QByteArray m_log;
};

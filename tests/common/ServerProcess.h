#pragma once

#include <QHostAddress>
#include <QProcess>

// A real server program of the test's own, in the foreground on a free port of a loopback address, its output
// gathered in log(). It leads a process group of its own, named by its PID: when this goes, the group is stopped,
// the processes the server forked with it.
class ServerProcess
{
public:
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;
    virtual ~ServerProcess();

    // Whether it serves; while false, log() tells what it said, or why it did not start.
    virtual bool ready() const { return !m_readyText.isEmpty() && m_log.contains(m_readyText); }
    const QByteArray &log() const { return m_log; }
    const QHostAddress &host() const { return m_host; }
    quint16 port() const { return m_port; }
    // host:port, as a row or after a scheme.
    QString hostPort() const { return m_host.toString() + u':' + QString::number(m_port); }

protected:
    explicit ServerProcess(const QHostAddress &listen);
    // Writes text into folder as name, readable by the user a server drops to; its path, or empty when it failed.
    QString writeConfig(const QString &folder, const QString &name, const QByteArray &text);
    // readyText: what the program writes once it serves.
    void start(const QString &program, const QStringList &arguments, const QByteArray &readyText = {});

private:
    QProcess m_process;
    QHostAddress m_host;
    quint16 m_port = 0;
    QByteArray m_readyText;
    QByteArray m_log;
};

#pragma once

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <memory>
#include <unistd.h>

// A real server on a free loopback port, its output in log(), leading a process group stopped by its PID with it.
class ServerProcess
{
public:
    explicit ServerProcess(const QHostAddress &listen) : m_host(listen)
    {
        QTcpServer free;
        free.listen(listen, 0);
        m_port = free.serverPort();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyRead, &m_process, [this] { m_log += m_process.readAll(); });
        QObject::connect(&m_process, &QProcess::errorOccurred, &m_process,
                         [this] { m_log += m_process.errorString().toLocal8Bit() + '\n'; });
    }
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;
    ~ServerProcess()
    {
        const auto pid = pid_t(m_process.processId());
        if (m_process.state() == QProcess::NotRunning || pid <= 0)
            return;
        ::kill(-pid, SIGTERM);
        m_process.waitForFinished(5000);
        ::kill(-pid, SIGKILL); // the server, if it would not go, and whatever it forked
        m_process.waitForFinished(5000);
    }

    // Writes config into folder, readable by the user a server drops to; its path goes in place of "%c".
    void start(const QString &program, QStringList arguments, const QString &folder = {}, const QByteArray &config = {})
    {
        if (!folder.isEmpty()) {
            QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ReadOther | QFile::ExeOther);
            QFile file(QString("%1/%2-%3.conf").arg(folder, program).arg(m_port));
            if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size() || !file.flush()) {
                m_log += "could not write " + file.fileName().toLocal8Bit() + '\n';
                return;
            }
            arguments.replaceInStrings("%c", file.fileName());
        }
        m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
        m_process.start(program, arguments);
    }
    // Whether it serves: its port takes a connection. While false, log() tells what it said, or why it did not start.
    bool ready() const
    {
        QTcpSocket probe;
        probe.connectToHost(m_host, m_port);
        return probe.waitForConnected(100);
    }
    const QByteArray &log() const { return m_log; }
    quint16 port() const { return m_port; }
    QString hostPort() const { return m_host.toString() + u':' + QString::number(m_port); }

private:
    QProcess m_process;
    QHostAddress m_host;
    quint16 m_port = 0;
    QByteArray m_log;
};

// tinyproxy. With user, it asks for these credentials (407 without any, 401 for wrong ones); with connectPorts, it
// tunnels only to these ports (403 for others), else to any; with bind, it connects out from there. As root, it drops
// to nobody once it listens.
inline std::unique_ptr<ServerProcess> tinyproxy(const QString &folder, const QHostAddress &listen,
                                                const QByteArray &user = {}, const QByteArray &password = {},
                                                const QList<quint16> &connectPorts = {}, const QByteArray &bind = {})
{
    auto server = std::make_unique<ServerProcess>(listen);
    QByteArray config = "Port " + QByteArray::number(server->port()) + "\nListen " + listen.toString().toLatin1() +
                        "\nTimeout 30\nMaxClients 20\nDisableViaHeader Yes\nLogLevel Info\n" +
                        (::geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "");
    if (!user.isEmpty())
        config += "BasicAuth " + user + ' ' + password + '\n';
    if (!bind.isEmpty())
        config += "Bind " + bind + '\n';
    for (const quint16 allowed : connectPorts)
        config += "ConnectPort " + QByteArray::number(allowed) + '\n';
    server->start("tinyproxy", {"-d", "-c", "%c"}, folder, config);
    return server;
}

// microsocks: SOCKS 5 only; with user, it takes only these credentials.
inline std::unique_ptr<ServerProcess> microsocks(const QHostAddress &listen, const QString &user = {},
                                                 const QString &password = {})
{
    auto server = std::make_unique<ServerProcess>(listen);
    QStringList arguments = {"-i", listen.toString(), "-p", QString::number(server->port())};
    if (!user.isEmpty())
        arguments << "-u" << user << "-P" << password;
    server->start("microsocks", arguments);
    return server;
}

// dante-server (danted): SOCKS 4 and 5 without authentication, to loopback only, connecting out from external; with
// only ("socks_v4" or "socks_v5"), that protocol alone connects. Its user lines must come before its rules; the
// failures of each connection are logged. As root, it drops to nobody.
inline std::unique_ptr<ServerProcess> dante(const QString &folder, const QHostAddress &listen,
                                            const QByteArray &external, const QByteArray &only = {})
{
    auto server = std::make_unique<ServerProcess>(listen);
    const QByteArray config = "logoutput: stderr\ninternal: " + listen.toString().toLatin1() +
                              " port = " + QByteArray::number(server->port()) + "\nexternal: " + external + '\n' +
                              (::geteuid() == 0 ? "user.unprivileged: nobody\n" : "") +
                              "clientmethod: none\nsocksmethod: none\n"
                              "client pass { from: 127.0.0.0/8 to: 127.0.0.0/8 }\n"
                              "socks pass {\nfrom: 127.0.0.0/8 to: 127.0.0.0/8\nlog: error\n" +
                              (only.isEmpty() ? QByteArray() : "proxyprotocol: " + only + '\n') + "}\n";
    server->start("danted", {"-f", "%c", "-p", QString("%1/danted-%2.pid").arg(folder).arg(server->port())}, folder,
                  config);
    return server;
}

// squid: an HTTP proxy to loopback only, for clients on loopback, caching nothing, with its default forwarded_for
// (X-Forwarded-For names the client); with outgoing, it connects out from there. Its pid and logs are in folder, and
// it asks no name server but loopback's. As root, it drops to its own user, who must write its log there. TERM stops
// it without waiting for clients. Null where squid is not installed: skip the test.
inline std::unique_ptr<ServerProcess> squid(const QString &folder, const QHostAddress &listen,
                                            const QByteArray &outgoing = {})
{
    if (QStandardPaths::findExecutable("squid").isEmpty())
        return nullptr;
    auto server = std::make_unique<ServerProcess>(listen);
    const QByteArray files = folder.toLocal8Bit() + "/squid-" + QByteArray::number(server->port());
    QFile::setPermissions(folder, QFile::permissions(folder) | QFile::WriteOther);
    QByteArray config = "http_port " + listen.toString().toLatin1() + ':' + QByteArray::number(server->port()) +
                        "\nacl from_loopback src 127.0.0.0/8 ::1\nacl to_loopback dst 127.0.0.0/8 ::1\n"
                        "http_access allow from_loopback to_loopback\nhttp_access deny all\ncache deny all\n"
                        "cache_mem 0 MB\npid_filename " +
                        files + ".pid\ncache_log " + files + ".log\naccess_log stdio:" + files +
                        "-access.log\ncoredump_dir " + folder.toLocal8Bit() +
                        "\nvisible_hostname korvane-test\ndns_nameservers 127.0.0.1\npinger_enable off\n"
                        "shutdown_lifetime 0 seconds\n";
    if (!outgoing.isEmpty())
        config += "tcp_outgoing_address " + outgoing + '\n';
    server->start("squid", {"-N", "-f", "%c"}, folder, config);
    return server;
}

// nginx in front of upstream, a reverse proxy as a server's own would be: it tells the upstream who called in X-Real-IP
// and X-Forwarded-For, connecting out from bind. Its pid, logs and buffers are in folder.
inline std::unique_ptr<ServerProcess> nginxFront(const QString &folder, const QHostAddress &listen,
                                                 const QString &upstream, const QByteArray &bind)
{
    auto server = std::make_unique<ServerProcess>(listen);
    const QByteArray files = folder.toLocal8Bit() + "/nginx-" + QByteArray::number(server->port());
    QByteArray config = "pid " + files + ".pid;\nerror_log " + files +
                        ".log;\nworker_processes 1;\n"
                        "events { worker_connections 64; }\nhttp {\naccess_log off;\n";
    for (const char *buffer : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        config += buffer + QByteArray("_temp_path ") + files + '-' + buffer + ";\n";
    config += "server {\nlisten " + server->hostPort().toLatin1() + ";\nlocation / {\nproxy_pass http://" +
              upstream.toLatin1() + ";\nproxy_bind " + bind +
              ";\nproxy_set_header X-Real-IP $remote_addr;\n"
              "proxy_set_header X-Forwarded-For $proxy_add_x_forwarded_for;\n}\n}\n}\n";
    server->start("nginx",
                  {"-e", QString::fromLocal8Bit(files + ".log"), "-p", folder, "-c", "%c", "-g", "daemon off;"}, folder,
                  config);
    return server;
}

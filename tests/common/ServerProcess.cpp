#include "tests/common/ServerProcess.h"

#include <QFile>
#include <QTcpServer>

#include <csignal>
#include <unistd.h>

ServerProcess::ServerProcess(const QHostAddress &listen) : m_host(listen)
{
    QTcpServer free;
    free.listen(listen, 0);
    m_port = free.serverPort();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyRead, &m_process, [this] { m_log += m_process.readAll(); });
    QObject::connect(&m_process, &QProcess::errorOccurred, &m_process,
                     [this] { m_log += m_process.errorString().toLocal8Bit() + '\n'; });
}

QString ServerProcess::writeConfig(const QString &folder, const QString &name, const QByteArray &text)
{
    QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ReadOther | QFile::ExeOther);
    QFile file(folder + u'/' + name);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush())
        return file.fileName();
    m_log += "could not write " + file.fileName().toLocal8Bit() + '\n';
    return {};
}

void ServerProcess::start(const QString &program, const QStringList &arguments, const QByteArray &readyText)
{
    m_readyText = readyText;
    m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
    m_process.start(program, arguments);
}

ServerProcess::~ServerProcess()
{
    const auto pid = pid_t(m_process.processId());
    if (m_process.state() == QProcess::NotRunning || pid <= 0)
        return;
    // The server leads a process group of its own (see start()): the children it forked go with it.
    ::kill(-pid, SIGTERM);
    if (!m_process.waitForFinished(5000))
        ::kill(-pid, SIGKILL);
    m_process.waitForFinished(5000);
    ::kill(-pid, SIGKILL);
}

#include "tests/common/ServerProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>

#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
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
    m_process.start(program, arguments);
}

// The processes pid forked that are still its children, each as a pidfd, which no later process can take over.
// Through syscall(): glibc 2.36 declares pidfd_open() and pidfd_send_signal() for C only.
static QList<int> childrenOf(qint64 pid)
{
    QList<int> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!entry.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        // pid (name) state ppid ...: the name may hold spaces and brackets, but not after its last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        const int fd =
            fields.size() > 1 && fields[1].toLongLong() == pid ? int(::syscall(SYS_pidfd_open, entry.toInt(), 0)) : -1;
        if (fd >= 0)
            children.append(fd);
    }
    return children;
}

ServerProcess::~ServerProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    const QList<int> children = childrenOf(m_process.processId());
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // Its children end on their own once it has gone; those that take longer than that are killed.
    const QDeadlineTimer deadline(3000);
    for (const int fd : children) {
        pollfd gone = {fd, POLLIN, 0};
        if (::poll(&gone, 1, int(deadline.remainingTime())) == 0) {
            ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0);
            ::poll(&gone, 1, 1000);
        }
        ::close(fd);
    }
}

#include "tests/common/Tinyproxy.h"

#include <QFile>
#include <QTcpServer>

#include <unistd.h>

Tinyproxy::Tinyproxy(const QString &folder, const QHostAddress &listen, const QByteArray &bind)
{
    QTcpServer free;
    free.listen(listen, 0);
    const quint16 port = free.serverPort();
    free.close();
    // As root it would refuse to run; it drops to nobody once it listens, so its configuration must stay readable.
    const QByteArray config = "Port " + QByteArray::number(port) + "\nListen " + listen.toString().toLatin1() +
                              "\nBind " + bind + "\nTimeout 30\nMaxClients 20\nDisableViaHeader Yes\nLogLevel Info\n" +
                              (::geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "");
    QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ReadOther | QFile::ExeOther);
    QFile file(folder + QStringLiteral("/tinyproxy-%1.conf").arg(port));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size() || !file.flush())
        return;
    m_row = listen.toString() + u':' + QString::number(port);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyRead, &m_process, [this] { m_log += m_process.readAll(); });
    m_process.start(QStringLiteral("tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"), file.fileName()});
}

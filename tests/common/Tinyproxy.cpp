#include "tests/common/Tinyproxy.h"

#include <unistd.h>

Tinyproxy::Tinyproxy(const QString &folder, const QHostAddress &listen, const QByteArray &bind, const QByteArray &user,
                     const QByteArray &password, const QList<quint16> &connectPorts)
    : ServerProcess(listen), m_row(hostPort())
{
    // As root it would refuse to run; it drops to nobody once it listens, so its configuration must stay readable.
    QByteArray config = "Port " + QByteArray::number(port()) + "\nListen " + listen.toString().toLatin1() + "\nBind " +
                        bind + "\nTimeout 30\nMaxClients 20\nDisableViaHeader Yes\nLogLevel Info\n" +
                        (::geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "");
    if (!user.isEmpty())
        config += "BasicAuth " + user + ' ' + password + '\n';
    for (const quint16 allowed : connectPorts)
        config += "ConnectPort " + QByteArray::number(allowed) + '\n';
    const QString path = writeConfig(folder, QStringLiteral("tinyproxy-%1.conf").arg(port()), config);
    if (!path.isEmpty())
        start(QStringLiteral("tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"), path}, "Accepting connections");
}

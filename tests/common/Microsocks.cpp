#include "tests/common/Microsocks.h"

#include <QTcpSocket>

Microsocks::Microsocks(const QHostAddress &listen, const QByteArray &bind, const QByteArray &user,
                       const QByteArray &password)
    : ServerProcess(listen)
{
    QStringList arguments = {QStringLiteral("-i"), listen.toString(), QStringLiteral("-p"), QString::number(port())};
    if (!bind.isEmpty())
        arguments << QStringLiteral("-b") << QString::fromLatin1(bind);
    if (!user.isEmpty())
        arguments << QStringLiteral("-u") << QString::fromLatin1(user) << QStringLiteral("-P")
                  << QString::fromLatin1(password);
    start(QStringLiteral("microsocks"), arguments);
}

bool Microsocks::ready() const
{
    // It says nothing when it starts: it serves once its port takes a connection.
    if (!m_ready) {
        QTcpSocket probe;
        probe.connectToHost(host(), port());
        m_ready = probe.waitForConnected(100);
    }
    return m_ready;
}

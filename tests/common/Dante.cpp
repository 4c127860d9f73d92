#include "tests/common/Dante.h"

#include <unistd.h>

Dante::Dante(const QString &folder, const QHostAddress &listen, const QByteArray &external) : ServerProcess(listen)
{
    // Its user lines must come before its rules; the failures of each connection are logged.
    const QByteArray config = "logoutput: stderr\ninternal: " + listen.toString().toLatin1() +
                              " port = " + QByteArray::number(port()) + "\nexternal: " + external + '\n' +
                              (::geteuid() == 0 ? "user.unprivileged: nobody\n" : "") +
                              "clientmethod: none\nsocksmethod: none\n"
                              "client pass { from: 127.0.0.0/8 to: 127.0.0.0/8 }\n"
                              "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 log: error }\n";
    const QString name = QStringLiteral("danted-%1").arg(port());
    const QString path = writeConfig(folder, name + QStringLiteral(".conf"), config);
    if (!path.isEmpty())
        start(QStringLiteral("danted"),
              {QStringLiteral("-f"), path, QStringLiteral("-p"), folder + u'/' + name + QStringLiteral(".pid")},
              " running\n");
}

// The whole checker through the real window, against two real tinyproxy servers on loopback and an IP-echo server
// of the test's own. The first proxy reaches the echo server from its own address (anonymous, "Y"); the second
// listens on 127.0.0.2 but connects out from 127.0.0.3, so the echo page shows an address other than the row's.
#include "app/MainWindow.h"
#include "checker/CheckRun.h"
#include "proxylist/CellText.h"
#include "proxylist/ProxyColor.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/TestMain.h"
#include "tests/gui/ControlArray.h"
#include "tests/gui/FakeDesktop.h"

#include <QAction>
#include <QProcess>
#include <QSlider>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {
// A tinyproxy of the test's own, in the foreground, with a generated configuration.
class Tinyproxy
{
public:
    Tinyproxy(const QString &program, const QString &folder, const QHostAddress &listen, const QString &bind)
        : m_listen(listen)
    {
        QTcpServer free;
        free.listen(listen, 0);
        m_port = free.serverPort();
        free.close();

        QString config = QStringLiteral("Port %1\nListen %2\nTimeout 30\nMaxClients 20\nDisableViaHeader Yes\n"
                                        "LogLevel Info\n")
                             .arg(m_port)
                             .arg(listen.toString());
        if (!bind.isEmpty())
            config += QStringLiteral("Bind %1\n").arg(bind);
        // As root it would otherwise refuse to run; it drops to nobody once it listens.
        if (::geteuid() == 0)
            config += QStringLiteral("User nobody\nGroup nogroup\n");
        const QString path = folder + QStringLiteral("/tinyproxy-%1.conf").arg(m_port);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(config.toLatin1());
        file.close();

        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyRead, &m_process, [this] { m_log += m_process.readAll(); });
        m_process.start(program, {QStringLiteral("-d"), QStringLiteral("-c"), path});
    }

    ~Tinyproxy()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool ready() const { return m_log.contains("Accepting connections"); }
    const QByteArray &log() const { return m_log; }
    QString row() const { return m_listen.toString() + u':' + QString::number(m_port); }

private:
    QHostAddress m_listen;
    quint16 m_port = 0;
    QProcess m_process;
    QByteArray m_log;
};
} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void realProxiesGiveWorkingVerdicts()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
        if (program.isEmpty())
            QSKIP("tinyproxy is not installed (apt-get install tinyproxy)");
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        // The configuration must stay readable once tinyproxy has dropped to nobody.
        QFile::setPermissions(folder.path(), QFile::permissions(folder.path()) | QFile::ReadOther | QFile::ExeOther);

        // The echo page, with the address each request came from.
        QTcpServer echo;
        QVERIFY(echo.listen(QHostAddress::LocalHost, 0));
        QStringList seen;
        connect(&echo, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *peer = echo.nextPendingConnection();
            connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QTcpSocket::readyRead, peer, [peer, &seen] {
                // tinyproxy writes a request in pieces: wait for its end, which may span reads.
                if (!peer->peek(peer->bytesAvailable()).contains("\r\n\r\n") || peer->property("answered").toBool())
                    return;
                peer->setProperty("answered", true);
                seen.append(peer->peerAddress().toString());
                peer->write(FakeProxy::echoPage(peer->peerAddress().toString()));
                peer->disconnectFromHost();
            });
        });

        Tinyproxy direct(program, folder.path(), QHostAddress(QStringLiteral("127.0.0.1")), {});
        Tinyproxy rebound(program, folder.path(), QHostAddress(QStringLiteral("127.0.0.2")),
                          QStringLiteral("127.0.0.3"));
        QTRY_VERIFY2_WITH_TIMEOUT(direct.ready() && rebound.ready(),
                                  QByteArray(direct.log() + rebound.log()).constData(), 10000);

        FakeDesktop desktop;
        MainWindow window(desktop);
        window.show();
        window.table().addRows({direct.row(), rebound.row()});
        window.checkRun().setProbeHost(QStringLiteral("127.0.0.1:%1").arg(echo.serverPort()));
        // Three seconds leave the real proxies time to spare.
        element<QSlider>(window, "Sliders", 1)->setValue(3);
        QAction *testAll = element<QAction>(window, "mProxyTest", 0);
        QVERIFY(testAll && testAll->isEnabled());
        testAll->trigger();

        ProxyTableModel &table = window.table();
        const auto cells = [&table](int row) {
            return QStringList{table.subItem(row, ProxyTableModel::Anonymity),
                               table.subItem(row, ProxyTableModel::Speed), table.subItem(row, ProxyTableModel::Status)};
        };
        QCOMPARE(cells(1), QStringList({CellText::Anonymous, CellText::NoVerdict, CellText::Working}));
        QCOMPARE(cells(2), QStringList({CellText::NotAnonymous, CellText::NoVerdict, CellText::Working}));
        QCOMPARE(table.color(1), ProxyColor::Green);
        QCOMPARE(table.color(2), ProxyColor::Green);
        QCOMPARE(seen.size(), 2);
        QVERIFY(seen.contains(QStringLiteral("127.0.0.1")));
        QVERIFY(seen.contains(QStringLiteral("127.0.0.3")));
        QCOMPARE(window.panels().text(StatusPanels::Working), QStringLiteral("2"));
        QCOMPARE(window.panels().text(StatusPanels::Anonymous), QStringLiteral("1"));
        QCOMPARE(desktop.boxes.size(), 1);
    }
};

KORVANE_TEST(TestEndToEnd)
#include "tst_endtoend.moc"

// TLS on memory buffers: the layer against an in-process server, bytes in and bytes out.
#include "checker/TlsContext.h"
#include "checker/TlsLayer.h"
#include "tests/common/HttpsServer.h"
#include "tests/common/TestCertificates.h"

#include <QtTest>

#include <functional>
#include <utility>

namespace {
// How a row of the layer's table goes. The far end is a TLS server, unless it never answers (Silent) or is a plain web
// server refusing the bytes it got (PlainHttp). Answered: the page came, after the request arrived whole; Sni: the
// server was given the host's name.
enum Option { Insecure = 1, Bytewise = 2, Large = 4, Silent = 8, PlainHttp = 16, Answered = 32, Sni = 64 };

QByteArray get(const QByteArray &path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
}

// The layer and the far end pass each other's bytes until neither has any more, in a few rounds at most. Bytewise,
// the layer takes what it receives one byte at a time.
QByteArray talk(TlsLayer &layer, const std::function<QByteArray(const QByteArray &)> &farEnd, const QByteArray &request,
                bool bytewise)
{
    QByteArray answer;
    QByteArray toFarEnd = layer.open(request);
    for (int round = 0; round < 8 && !toFarEnd.isEmpty(); ++round) {
        const QByteArray back = farEnd(std::exchange(toFarEnd, {}));
        const qsizetype step = bytewise ? 1 : qMax(back.size(), 1);
        for (qsizetype at = 0; at < back.size(); at += step)
            toFarEnd += layer.fromWire(back.sliced(at, qMin(step, back.size() - at)), answer);
    }
    return answer;
}
} // namespace

class TestTls : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void layer_data();
    void layer();
    void caFile_data();
    void caFile();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Trusting the test's own authority alone.
    TlsContext context(bool insecure) const
    {
        return std::get<TlsContext>(TlsContext::create(path("ca.pem"), insecure));
    }

    QTemporaryDir m_dir;
};

// Two authorities, and certificates for localhost and 127.0.0.1 (one for another name) signed by them.
void TestTls::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QByteArray failure = makeTestCertificates(m_dir.path());
    QVERIFY2(failure.isEmpty(), failure.constData());
}

void TestTls::layer_data()
{
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("options");
    QTest::addColumn<QString>("failure");
    const auto row = [](const char *name, const char *certificate, const char *host, int options, const char *failure) {
        QTest::newRow(name) << QString(certificate) << QString(host) << options << QString(failure);
    };
    row("name", "good", "localhost", Answered | Sni, "");
    row("address", "good", "127.0.0.1", Answered, "");
    row("byte by byte", "good", "localhost", Answered | Sni | Bytewise, "");
    row("1 MB", "good", "localhost", Answered | Sni | Large, "");
    row("wrong name", "wrong", "localhost", Sni, "name mismatch");
    row("wrong address", "good", "127.0.0.2", 0, "name mismatch");
    row("IPv6 address", "good", "::1", 0, "name mismatch");
    row("other authority", "other", "localhost", Sni, "unknown issuer");
    row("expired", "expired", "localhost", Sni, "expired");
    row("insecure: other authority, wrong address", "other", "127.0.0.2", Insecure | Answered, "");
    row("plain HTTP far end", "good", "localhost", PlainHttp, "wrong version number");
    row("silent far end", "good", "localhost", Silent, "");
}

void TestTls::layer()
{
    QFETCH(QString, certificate);
    QFETCH(QString, host);
    QFETCH(int, options);
    QFETCH(QString, failure);

    HttpsServer server((options & Silent) != 0 ? HttpsServer::StallsHandshake : HttpsServer::Tls,
                       path(certificate + ".pem"), path(certificate + ".key"));
    QCOMPARE(server.error(), QString());
    const auto session = server.session();
    const auto plainHttp = [](const QByteArray &) { return QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n"); };
    TlsLayer layer(context((options & Insecure) != 0), host);
    const QByteArray request = get((options & Large) != 0 ? "/large" : "/");
    const QByteArray answer =
        talk(layer, (options & PlainHttp) != 0 ? plainHttp : session, request, (options & Bytewise) != 0);

    QCOMPARE(layer.failure(), failure);
    QCOMPARE(server.serverName(), (options & Sni) != 0 ? host.toUtf8() : QByteArray());
    // The request arrives whole and once, and never at a far end that is not trusted.
    QCOMPARE(server.requests(), (options & Answered) != 0 ? QList{request} : QList<QByteArray>());
    const QByteArray body = (options & Large) != 0 ? QByteArray(HttpsServer::LargeBytes, 'x') : "Hello over TLS\n";
    if ((options & Answered) == 0)
        QCOMPARE(answer, QByteArray());
    else
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK\r\n") && answer.endsWith(body), answer.left(200));
}

void TestTls::caFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");
    QTest::newRow("an authority") << path("ca.pem") << "";
    QTest::newRow("missing") << path("missing.pem")
                             << "cannot read certificates from " + path("missing.pem") + ": No such file or directory";
    QTest::newRow("a key alone") << path("ca.key")
                                 << "cannot read certificates from " + path("ca.key") + ": no certificate or crl found";
}

void TestTls::caFile()
{
    QFETCH(QString, file);
    QFETCH(QString, error);
    const std::variant<TlsContext, QString> context = TlsContext::create(file, false);
    QCOMPARE(std::holds_alternative<QString>(context) ? std::get<QString>(context) : QString(), error);
}

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"

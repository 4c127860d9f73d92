// The judge in the test's own process, asked on loopback by clients that block on threads of their own: hostile
// requests and their answers and log lines, the request that never ends, the cap on connections.
#include "checker/EchoPage.h"
#include "checker/SocketSystem.h"
#include "judge/JudgeRequest.h"
#include "judge/JudgeServer.h"
#include "tests/common/TestFiles.h"

#include <QtTest>

#include <arpa/inet.h>
#include <future>
#include <poll.h>
#include <thread>

namespace {
// Each: the request, how the answer starts, how it ends (without the key offered), and its log line without the time.
using Asked = std::tuple<QByteArray, QByteArray, QByteArray, QByteArray>;

// A connection to the loopback port that has sent the request, blocking at most 15 s at a time; -1 for none.
int connectTo(quint16 port, QByteArrayView request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval wait{15, 0};
    const sockaddr_in to{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0 &&
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait) == 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0 &&
        ::send(fd, request.data(), size_t(request.size()), MSG_NOSIGNAL) == request.size())
        return fd;
    ::close(fd);
    return -1;
}

// kB of a line of /proc/self/status ("VmHWM", "VmRSS").
int statusKb(const char *field)
{
    QFile status("/proc/self/status");
    const QRegularExpression line(QString("%1:\\s*([0-9]+) kB").arg(field));
    return status.open(QIODevice::ReadOnly) ? line.match(status.readAll()).captured(1).toInt() : 0;
}

// What a client's thread returns, the judge served meanwhile by this thread's event loop.
template <typename T> T served(std::future<T> &result)
{
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(5);
    return result.get();
}

template <typename F> auto served(F client)
{
    auto result = std::async(std::launch::async, client);
    return served(result);
}
} // namespace

class TestJudge : public QObject
{
    Q_OBJECT

    JudgeServer m_judge;
    quint16 m_port = 0;
    QByteArrayList m_log;
    // How long the judge held a request that never ended.
    std::future<qint64> m_heldMs;

private Q_SLOTS:
    void initTestCase()
    {
        // The judge's connections and the clients' in one process.
        const std::optional<rlimit> files = SocketSystem::raiseOpenFileLimit();
        QVERIFY(files);
        m_judge.setLogSink([this](QByteArrayView line) {
            m_log.append(line.toByteArray());
            return true;
        });
        QCOMPARE(m_judge.listen(QHostAddress::LocalHost, 0), QString());
        m_port = m_judge.port();
        // A request that never ends, watched while the other tests run.
        m_heldMs = std::async(std::launch::async, [fd = connectTo(m_port, "GET / HTTP/1.1\r\nX-Slow: ")] {
            QElapsedTimer held;
            held.start();
            pollfd closing{fd, POLLIN, 0};
            return ::poll(&closing, 1, 15000) == 1 && readToEnd(fd).isEmpty() ? held.elapsed() : -1;
        });
    }

    // The page, the token and the origin headers (escaped) to GET and HEAD on any path, other requests refused; the
    // head measured whole when its blank line comes apart; the request line logged as printable ASCII.
    void answers_data()
    {
        QTest::addColumn<Asked>("asked");
        const QByteArray body = EchoPage::body("127.0.0.1");
        const auto head = [](qsizetype size) -> QByteArray {
            return "GET / HTTP/1.1\r\nX-Pad: " + QByteArray(size - 27, 'a') + "\r\n\r\n";
        };
        const auto add = [](const char *name, const QByteArray &request, const QByteArray &start,
                            const QByteArray &tail, const QByteArray &logged) {
            QTest::newRow(name) << Asked{request, start, tail, "127.0.0.1 \"" + logged + '\n'};
        };
        add("binary", "\x16\"\xfe\x7f\x80\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", "\r\n\r\n400 Bad Request\r\n",
            "\\x16\\x22\\xfe\\x7f\\x80\" 400");
        add("any path", "GET /any/where?x=1 HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK\r\n",
            body + "<!-- korvane-echo\r\n-->\r\n", "GET /any/where?x=1 HTTP/1.0\" 200");
        add("a megabyte of header", "GET / HTTP/1.1\r\nX-Big: " + QByteArray(1 << 20, 'a') + "\r\n\r\n",
            "HTTP/1.1 431 Request Header Fields Too Large\r\n", "\r\n\r\n431 Request Header Fields Too Large\r\n",
            "GET / HTTP/1.1\" 431");
        add("origin headers",
            "GET /a/0123456789abcdefABCDEF?q HTTP/1.1\r\nHost: 127.0.0.1:1\r\nVia: 1.1 cache\r\nUser-Agent: "
            "Mozilla/5.0\r\nX-Seen: \x01<a>-->% 10.0.0.9\r\nMax-Forwards: 10\r\nX-A: 2130706433\r\nX-B: 0x7f.0.0.1\r\n"
            "X-C: 127.000.000.001\r\nX-D: 127.1\r\n\r\n",
            "HTTP/1.1 200 OK\r\n",
            "<!-- korvane-echo\r\ntoken: 0123456789abcdefABCDEF\r\nheader: Via: 1.1 cache\r\nheader: X-Seen: "
            "%01%3Ca%3E--%3E%25 10.0.0.9\r\nheader: X-A: 2130706433\r\nheader: X-B: 0x7f.0.0.1\r\nheader: X-C: "
            "127.000.000.001\r\nheader: X-D: 127.1\r\n-->\r\n",
            "GET /a/0123456789abcdefABCDEF?q HTTP/1.1\" 200");
        // An expired key signs nothing.
        add("expired key", "GET /0000000000000001aaaaaaaaaaaaaaaa/0123456789abcdef HTTP/1.0\r\n\r\n",
            "HTTP/1.0 200 OK\r\n", "token: 0123456789abcdef\r\n-->\r\n",
            "GET /0000000000000001aaaaaaaaaaaaaaaa/0123456789abcdef HTTP/1.0\" 200");
        add("head at the bound", head(JudgeRequest::MaxHeadBytes), "HTTP/1.1 200 OK\r\n", "-->\r\n",
            "GET / HTTP/1.1\" 200");
        add("head past the bound", head(JudgeRequest::MaxHeadBytes + 1),
            "HTTP/1.1 431 Request Header Fields Too Large\r\n", "Large\r\n", "GET / HTTP/1.1\" 431");
        add("POST", "POST / HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n",
            "Allow: GET, HEAD\r\n\r\n405 Method Not Allowed\r\n", "POST / HTTP/1.1\" 405");
        add("HEAD", "HEAD /x HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\n", "Connection: close\r\n\r\n",
            "HEAD /x HTTP/1.1\" 200");
    }

    void answers()
    {
        QFETCH(Asked, asked);
        const auto &[sent, start, tail, logged] = asked;
        static const QRegularExpression offeredKey("key: [0-9a-f]{32} [0-9a-f]{64}\r\n");
        const QByteArray answer = served([this, &asked] {
            // The blank line that ends the head comes 100 ms after the rest.
            const QByteArray &sent = std::get<0>(asked);
            const int fd = connectTo(m_port, QByteArrayView(sent).chopped(4));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ::send(fd, sent.last(4).constData(), 4, MSG_NOSIGNAL);
            return QString::fromLatin1(readToEnd(fd)).remove(offeredKey).toLatin1();
        });
        QVERIFY2(answer.startsWith(start) && answer.endsWith(tail) && answer.contains("\r\nConnection: close\r\n"),
                 answer);
        // Logged before the answer went.
        QVERIFY(!m_log.isEmpty());
        QCOMPARE(m_log.last().sliced(m_log.last().indexOf(' ') + 1), logged);
    }

    // Closed 10 s after it opened, though it never ended.
    void requestThatNeverEnds()
    {
        const qint64 heldMs = served(m_heldMs);
        QVERIFY2(heldMs >= 9000 && heldMs < 13000, qPrintable(QString::number(heldMs)));
    }

    // Idle connections past the cap are closed at once, the others held; then the next caller is answered, and
    // holding them all took little memory.
    void connectionCap()
    {
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur < 2 * rlim_t(JudgeServer::MaxConnections) + 100)
            QSKIP("the hard limit of open files is too low for the judge's connections and the clients' (ulimit -Hn)");
        // The connections of earlier callers go first: the judge may hold one until it has read its close.
        QTRY_COMPARE_WITH_TIMEOUT(m_judge.connectionCount(), 0, 12000);
        // The peak of memory from here on.
        QFile clearRefs("/proc/self/clear_refs");
        QVERIFY(clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1);
        clearRefs.close();
        const int beforeKb = statusKb("VmRSS");
        constexpr int Extra = 8;
        std::vector<pollfd> idle;
        idle.reserve(JudgeServer::MaxConnections + Extra);
        served([this, &idle] {
            for (int i = 0; i < JudgeServer::MaxConnections + Extra; ++i)
                idle.push_back({connectTo(m_port, "GET / HTTP/1.1\r\n"), POLLIN, 0});
            return true;
        });
        // Every connection taken: the cap held, and the rest closed.
        QTRY_VERIFY_WITH_TIMEOUT(m_judge.connectionCount() == JudgeServer::MaxConnections &&
                                     ::poll(idle.data(), idle.size(), 0) >= Extra,
                                 5000);
        QCOMPARE(::poll(idle.data(), idle.size(), 0), Extra);
        for (const pollfd &connection : idle)
            ::close(connection.fd);
        // Their closes read, the judge holds none.
        QTRY_COMPARE_WITH_TIMEOUT(m_judge.connectionCount(), 0, 5000);
        QVERIFY(served([this] {
                    return readToEnd(connectTo(m_port, "GET / HTTP/1.0\r\n\r\n"));
                }).startsWith("HTTP/1.0 200 OK\r\n"));
        const int grownKb = statusKb("VmHWM") - beforeKb;
        // AddressSanitizer's own bookkeeping about triples the judge's memory.
#ifdef __SANITIZE_ADDRESS__
        constexpr int LimitKb = 60 * 1024;
#else
        constexpr int LimitKb = 12 * 1024;
#endif
        QVERIFY2(grownKb < LimitKb, qPrintable(QString::number(grownKb)));
    }
};

QTEST_GUILESS_MAIN(TestJudge)
#include "tst_judge.moc"

// The checker against fake proxies on loopback: the verdicts, the batches, and which rows a run probes.
#include "app/ProxyTableModel.h"
#include "checker/CheckRun.h"
#include "checker/DeadlineQueue.h"
#include "checker/EchoJudgement.h"
#include "checker/EchoPage.h"
#include "checker/Handshake.h"
#include "checker/PlainLayer.h"
#include "checker/ProbeSocket.h"
#include "checker/SiteJudgement.h"
#include "location/GeoDatabase.h"
#include "tests/common/EchoServer.h"
#include "tests/common/FakeProxy.h"
#include "tests/common/HttpsServer.h"
#include "tests/common/RunToEnd.h"
#include "tests/common/ServerProcess.h"
#include "tests/common/TableText.h"
#include "tests/common/TestCertificates.h"
#include "tests/common/TestGeoDatabase.h"

#include <QtTest>

#include <atomic>
#include <deque>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/socket.h>

namespace {
// Set, the system finds no address for localhost, as when a name server has lost a name.
std::atomic<bool> localhostLost = false;
} // namespace

// The system's look-up of names, which Qt calls, with localhost lost while localhostLost is set.
extern "C" int getaddrinfo(const char *name, const char *service, const addrinfo *hints, addrinfo **found)
{
    if (localhostLost && name && ::strcasecmp(name, "localhost") == 0)
        return EAI_NONAME;
    static const auto system = reinterpret_cast<decltype(&getaddrinfo)>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return system(name, service, hints, found);
}

const QString Timeout = "Timeout";

// The echo host's page asked with a token of the test's choosing; the answer is not judged.
class Asking final : public ProbeJudgement
{
public:
    Asking(const EchoHost &echo, const QByteArray &token) : m_echo(echo), m_token(token) {}
    QByteArray directRequest() const override { return m_echo.directRequest(m_token); }
    QByteArray proxyRequest(const QByteArray &lines) const override { return m_echo.proxyRequest(lines, m_token); }
    std::optional<RowVerdict> look(QByteArray &) override { return std::nullopt; }
    RowVerdict onClosed(const QByteArray &) const override { return {}; }
    RowVerdict onFailed(const QByteArray &) const override { return {}; }

private:
    const EchoHost &m_echo;
    QByteArray m_token;
};
using Judging = std::tuple<QString, QString, QString, QString, QByteArray>;
// A row's scheme, its proxy's behaviour, the echo host, the verdict and the first thing the proxy got.
using Tunnel = std::tuple<QString, FakeProxy::Behaviour, QString, QString, QByteArray>;
// A row to 127.0.0.1:1080, the echo host, the replies in the pieces they come in, all that was sent, the outcome.
using Shake = std::tuple<QByteArray, QString, QByteArrayList, QByteArray, QByteArray>;
// Echo hosts by kind, what is done to the run, its refused rows (else two proxies), what it told, the verdicts.
using Echoing = std::tuple<QStringList, QString, int, QString, QStringList>;

// A check run on a clock factor times faster than real time; batches: the batch waits before each row handed out.
class Harness final : public Clock
{
public:
    explicit Harness(int factor = 20) : run(list, this), m_factor(factor)
    {
        m_origin.start();
        run.setEchoHosts({"127.0.0.1:9"}); // never reached: the fake proxies answer by themselves
        run.setEchoCheck(false);
        run.setSelection(&model);
        QObject::connect(&list, &ProxyList::resultsChanged, &list, [this](int row) {
            if (list.result(row).status == ProxyStatus::Checking)
                batches.append(waits);
        });
        QObject::connect(&run, &CheckRun::started, &list, [this] { calls.append("started "); });
        QObject::connect(&run, &CheckRun::judged, &list, [this] { ++judged; });
        QObject::connect(&run, &CheckRun::finished, &list,
                         [this](const RunOutcome &told) { calls.append("finished " + (outcome = told).shortage); });
    }

    qint64 nowMs() const { return m_origin.elapsed() * m_factor; }
    TimePoint now() const override { return TimePoint(std::chrono::milliseconds(nowMs())); }
    // Asked while a batch waits: a new deadline is a new batch.
    std::chrono::milliseconds until(TimePoint deadline) const override
    {
        waits += deadline != std::exchange(m_deadline, deadline);
        return (Clock::until(deadline) + std::chrono::milliseconds(m_factor - 1)) / m_factor;
    }

    // A run, the list filled up with silent proxies: it starts, ends, tells each verdict once, keeps no connection.
    void start(int rows, int slots, CheckRows::Mode mode = CheckRows::Mode::All, int timeout = 1)
    {
        list.addRows(QStringList(rows - list.count(), m_silent.row()));
        run.setSettings({slots, std::chrono::seconds(timeout)});
        calls.clear();
        judged = 0;
        QVERIFY(runToEnd(run, mode));
        QCOMPARE(calls, "started finished " + shortage);
        const QStringList shown = statuses();
        if (mode == CheckRows::Mode::All) // every row with a verdict got it in this run
            QCOMPARE(judged, shown.size() - shown.count(QString()) - shown.count("Checking..."));
        QCOMPARE(run.probes().openCount(), 0);
    }
    QStringList statuses() const { return columnTexts(list, 3); }
    // Each row's Anonymity, Status and any exit address as shown: "Y Working 127.0.0.1".
    QStringList verdicts() const
    {
        QStringList shown = statuses();
        const QStringList anonymity = columnTexts(list, 1), exits = columnTexts(list, ExitColumn);
        for (int r = 0; r < shown.size(); ++r)
            shown[r] = QString(anonymity[r] + ' ' + shown[r] + ' ' + exits[r]).trimmed();
        return shown;
    }

    ProxyList list;
    ProxyTableModel model{list}; // where "Test selected" reads the selection
    CheckRun run;
    QString calls, shortage;
    RunOutcome outcome;
    qsizetype judged = 0;
    QList<int> batches;
    mutable int waits = 0;

private:
    FakeProxy m_silent{FakeProxy::Silent};
    QElapsedTimer m_origin;
    qint64 m_factor;
    mutable TimePoint m_deadline = TimePoint::min();
};

class TestChecker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Without your address, the answer's text against the row's (blanks trimmed, text as text, whatever the status);
    // with it, "N" when the page shows it anywhere, "Invalid Response" when it shows no address. Exit: the address
    // shown, else the first of several; IPv4 that came as IPv6 written as IPv4.
    // With a token, the page's own, and a grade by the headers the echo host returned, written with hostile bytes.
    void judge_data()
    {
        QTest::addColumn<Judging>("judging");
        const auto add = [](const char *name, const QString &answer, const char *proxy, const char *verdict,
                            const QString &you = {}, const QByteArray &token = {}) {
            QTest::newRow(name) << Judging{answer, proxy, verdict, you, token};
        };
        const QString page = "HTTP/1.0 500 Oops\r\n\r\n<body>Current IP Address: 10.0.0.1</body></html>";
        const QString start = "Current IP Address: ", end = "</body></html>";
        add("own address", page, "10.0.0.1:80", "Y Working 10.0.0.1");
        add("blanks around the host", page, "  10.0.0.1 :80:x", "Y Working 10.0.0.1");
        add("tab before the host", page, "\t10.0.0.1:80", "N Working 10.0.0.1");
        add("other address", page, "10.0.0.2:80", "N Working 10.0.0.1");
        add("same value, other text", page, "010.0.0.1:80", "N Working 10.0.0.1");
        add("blanks around the echo", start + "  10.0.0.1 " + end, "10.0.0.1:80", "Y Working 10.0.0.1");
        add("CR LF before the end", start + "10.0.0.1\r\n" + end, "10.0.0.1:80", "N Working 10.0.0.1");
        add("end marker at once", start + end, "10.0.0.1:80", "N Working");
        add("marker at the end", "x" + start, "10.0.0.1:80", "N Working");
        add("second marker", start + "10.0.0.1" + start + "10.0.0.2", "10.0.0.1:80", "Y Working 10.0.0.1");
        add("marker in lower case", start.toLower() + "10.0.0.1", "10.0.0.1:80", "- Invalid Response");
        add("empty answer", "", "10.0.0.1:80", "- Invalid Response");
        add("your address shown", page, "10.0.0.1:80", "N Working 10.0.0.1", "10.0.0.1");
        add("another address shown", page, "10.0.0.2:80", "Y Working 10.0.0.1", "10.0.0.9");
        add("IPv4-mapped", start + "::FFFF:10.0.0.1" + end, "10.0.0.2:80", "N Working 10.0.0.1", "10.0.0.1");
        add("IPv4-compatible", start + "::10.0.0.1" + end, "10.0.0.2:80", "Y Working 10.0.0.1", "10.0.0.9");
        add("IPv6 loopback", start + "::1" + end, "10.0.0.2:80", "Y Working ::1", "10.0.0.9");
        add("words around yours", start + "you are 10.0.0.1" + end, "10.0.0.1:80", "N Working 10.0.0.1", "10.0.0.1");
        add("yours with a port", start + "10.0.0.1:5555" + end, "10.0.0.2:80", "N Working 10.0.0.1", "10.0.0.1");
        add("yours second of two", start + "10.0.5.5, 10.0.0.1" + end, "10.0.0.2:80", "N Working 10.0.5.5", "10.0.0.1");
        add("no address, you known", start + "unknown" + end, "10.0.0.2:80", "- Invalid Response", "10.0.0.1");
        add("nothing shown, you known", start + end, "10.0.0.2:80", "- Invalid Response", "10.0.0.1");
        add("three parts", start + "10.0.1" + end, "10.0.0.1:80", "N Working 10.0.0.1", "10.0.0.1");
        const QByteArray t = "0123456789abcdef0123456789abcdef";
        const auto graded = [&](const char *name, const QByteArrayList &headers, const char *verdict,
                                const QByteArray &token = "0123456789abcdef0123456789abcdef") {
            add(name, page + EchoPage::extras({token, headers}), "10.0.0.2:80", verdict, "10.0.0.9", t);
        };
        graded("token, no headers", {}, "Y Working 10.0.0.1 elite");
        graded("token, Via", {"Via: 1.1 cache"}, "Y Working 10.0.0.1 anonymous");
        graded("token, you forwarded", {"Via: x", "X-Forwarded-For: 127.0.0.1, 10.0.0.9"},
               "N Working 10.0.0.1 transparent");
        graded("token, you with a port", {"Forwarded: for=\"10.0.0.9:4711\""}, "N Working 10.0.0.1 transparent");
        graded("token, escapes kept", {"X-Real-IP: %31%30.0.0.9\ntoken: 1"}, "Y Working 10.0.0.1 anonymous");
        graded("token, comment end", {"X-Real-IP: -->10.0.0.9"}, "N Working 10.0.0.1 transparent");
        graded("another token", {}, "- Invalid Response", "1123456789abcdef0123456789abcdef");
        add("token, page shows you", start + "10.0.0.9" + end + EchoPage::extras({t, {}}), "10.0.0.2:80",
            "N Working 10.0.0.9 transparent", "10.0.0.9", t);
        add("token, no extras", page, "10.0.0.2:80", "- Invalid Response", "10.0.0.9", t);
    }

    void judge()
    {
        QFETCH(Judging, judging);
        const auto &[answer, proxy, verdict, yours, token] = judging;
        const ProxyResult judged = EchoJudgement::judge(
            answer.toLatin1(), proxy, {yours.isEmpty() ? std::nullopt : std::optional(QHostAddress(yours)), token, {}});
        const QString exit =
            judged.status == ProxyStatus::Working ? EchoJudgement::exitAddress(answer.toLatin1()) : QString();
        QCOMPARE(QString(ResultText::anonymity(judged) + ' ' + ResultText::status(judged) + ' ' + exit + ' ' +
                         ResultText::grade(judged))
                     .simplified(),
                 verdict);
    }

    // One run, one fake proxy for each way of answering, then many that answer and close at once.
    void verdictsThroughFakeProxies()
    {
        using F = FakeProxy;
        // The last one's request write fails.
        const QList<F::Behaviour> behaviours{F::EchoOwnAddress,  F::EchoOtherAddress, F::EchoSplit, F::OversizedPage,
                                             F::AsksCredentials, F::LateMarker,       F::Refused,   F::Reset,
                                             F::ResetAfterPage,  F::ResetMidPage,     F::Silent,    F::EndlessStream,
                                             F::Silent};
        const QString own = "Y Working 127.0.0.1", other = "N Working 127.0.0.44", bad = "- Invalid Response",
                      error = "- Error", late = "- Timeout";
        const QStringList verdicts{own, other, own, own, bad, bad, error, error, own, error, late, late, error};
        const int n = int(behaviours.size());
        constexpr int Closing = 300;
        Harness h(1);
        std::deque<FakeProxy> proxies;
        // The first row has a second colon: its port ends there; its third and fourth parts are credentials.
        for (F::Behaviour behaviour : behaviours)
            h.list.addRows({proxies.emplace_back(behaviour).row() + (behaviour == behaviours.first() ? ":8:x" : "")});
        // A page then a reset: of a request not read to its end, or of an answer before the request is in.
        const FakeProxy closing(F::EchoOwnAddress), oneRequest(F::ReadsOneRequest), unread(F::AnswersUnread);
        h.list.addRows(QStringList(Closing, closing.row()) + QStringList(50, oneRequest.row()) +
                       QStringList(50, unread.row()));
        // The endless stream goes far past what an answer keeps, and its buffer does not.
        bool far = false, overgrown = false;
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            if (const ProbeSocket *endless = h.run.probes().socketOf(int(behaviours.indexOf(F::EndlessStream)))) {
                far = far || endless->received() > 4 * ProbeSocket::MaxAnswerBytes;
                overgrown = overgrown || endless->answer().capacity() > ProbeSocket::MaxAnswerBytes;
            }
        });
        look.start(20);
        connect(&h.list, &ProxyList::resultsChanged, this, [&](int row) {
            // Handed out right after the last case's probe has started: its sending side is shut under it.
            if (row == n && h.list.result(n).status == ProxyStatus::Checking) {
                pollfd connecting{h.run.probes().socketOf(n - 1)->descriptor(), POLLOUT, 0};
                QCOMPARE(::poll(&connecting, 1, 5000), 1);
                QCOMPARE(::shutdown(connecting.fd, SHUT_WR), 0);
            }
        });
        // Three seconds: 400 probes at once on a busy machine, and the split page takes 100 ms of them.
        h.start(n + Closing + 100, n + Closing + 100, CheckRows::Mode::All, 3);

        QCOMPARE(h.verdicts().first(n), verdicts);
        QCOMPARE(proxies.front().requests(),
                 QList<QByteArray>{"GET http://127.0.0.1:9/ HTTP/1.0\r\nProxy-Authorization: Basic ODp4\r\n\r\n\r\n"});
        QVERIFY(proxies.back().requests().isEmpty());
        QCOMPARE(h.statuses().sliced(n), QStringList(Closing + 100, "Working"));
        QVERIFY(far && !overgrown);
    }

    // The pool on a clock four times faster, with two places and a timeout of 1,000 ms: silent, answers after 400 ms,
    // silent, then two that answer at once. end: what happens once the second silent one has started.
    void pool_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("statuses");
        QTest::newRow("to the last row") << "" << QStringList{Timeout, "Working", Timeout, "Working", "Working"};
        QTest::newRow("aborted") << "abort" << QStringList{Timeout, "Working", Timeout, "", ""};
        QTest::newRow("stopped") << "stop" << QStringList{"Checking...", "Working", "Checking...", "", ""};
    }

    void pool()
    {
        QFETCH(QString, end);
        QFETCH(QStringList, statuses);
        Harness h(4);
        const FakeProxy silent(FakeProxy::Silent), echo(FakeProxy::EchoOwnAddress),
            late(FakeProxy::EchoOwnAddress, QHostAddress::LocalHost, 100);
        h.list.addRows({silent.row() + ":1", late.row(), silent.row() + ":2", echo.row() + ":1", echo.row() + ":2"});
        // When each row was handed out and judged, on the run's clock; the most probes ever open at once; the notices
        // in order, '|' where the event loop took its next turn after a verdict.
        QList<qint64> handedOut(5, -1), judged(5, -1);
        int mostOpen = 0;
        QString notices;
        connect(&h.list, &ProxyList::resultsChanged, this, [&](int row) {
            const bool checking = h.list.result(row).status == ProxyStatus::Checking;
            (checking ? handedOut : judged)[row] = h.nowMs();
            // A row's notice comes just before its probe joins the open ones, or just after it has left them.
            mostOpen = std::max(mostOpen, h.run.probes().openCount() + 1);
            notices += (checking ? "c" : "j") + QString::number(row) + ' ';
            if (!checking)
                QTimer::singleShot(0, &h.list, [&] { notices += "| "; });
            if (checking && row == 2) // ended from the event loop, as a user or a signal would
                QTimer::singleShot(0, &h.run, [&] {
                    end == "stop" ? h.run.stop() : end.isEmpty() ? void() : h.run.abort();
                });
        });
        h.run.setPool(true);
        h.run.setSettings({2, std::chrono::seconds(1)});
        const auto sockets = [] {
            const QFileInfoList open = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System);
            return std::count_if(open.begin(), open.end(),
                                 [](const QFileInfo &fd) { return fd.symLinkTarget().contains(u"socket:"); });
        };
        const auto before = sockets();
        QVERIFY(runToEnd(h.run));
        QCOMPARE(h.statuses(), statuses);
        QCOMPARE(h.calls, end == "stop" ? "started " : "started finished ");
        QCOMPARE(mostOpen, 2);
        // One verdict each; a place is refilled at once, and a silent proxy times out a timeout after its own start.
        QCOMPARE(h.judged, statuses.count("Working") + statuses.count(Timeout));
        QVERIFY(handedOut[2] >= 400 && notices.contains("j1 c2 "));
        if (end.isEmpty())
            QVERIFY(judged[0] >= 1000 && notices.contains("j0 c3 ") && judged[2] >= handedOut[2] + 1000);
        QCOMPARE(h.run.probes().openCount(), 0);
        // No socket is left open behind the run, the silent proxies' kept for reuse included.
        QCOMPARE(sockets(), before);
    }

    // A thousand probes started in one tick of the clock time out in the order they started, whichever leave the
    // queue meanwhile; one started earlier comes first, and one moved to a later time (a site fetched after its echo
    // page) after those of that time.
    void deadlinesInOrder()
    {
        using namespace std::chrono_literals;
        DeadlineQueue<int> queue;
        const Clock::TimePoint tick{1s};
        std::vector<DeadlineQueue<int>::Handle> places;
        places.reserve(1000);
        for (int i = 0; i < 1000; ++i)
            places.push_back(queue.push(i < 600 ? tick : tick + 1ms, i));
        queue.push(tick - 1ms, -1);
        std::vector<int> expected{-1}, moved;
        for (int i = 0; i < 1000; ++i) {
            if (i % 3 == 0) {
                queue.erase(places[i]);
            } else if (i % 3 == 1) {
                expected.push_back(i);
            } else {
                places[i] = queue.reschedule(places[i], tick + 2ms);
                moved.push_back(i);
            }
        }
        // A value moved goes by its new handle.
        queue.erase(places[2]);
        expected.insert(expected.end(), moved.begin() + 1, moved.end());
        QCOMPARE(queue.values(), expected);
        QCOMPARE(queue.size(), int(expected.size()));
        QCOMPARE(queue.firstTime(), tick - 1ms);
    }

    // Each protocol's handshake, byte for byte, to the echo host at 127.0.0.1:9 or by name, and a Korvane echo host's
    // token after a slash. A row ending in its scheme or credentials points to 127.0.0.1:1080, as the others do in
    // their own spelling; one after "?" is searched for its protocol, its outcome "socks5 ..." when that is what the
    // proxy's reply was: two bytes, version 5, a method offered or none acceptable.
    void handshakes_data()
    {
        QTest::addColumn<Shake>("shake");
        const auto add = [](const char *name, const QByteArray &row, const QByteArrayList &replies,
                            const QByteArray &sent, const QByteArray &outcome, const QString &echo = "127.0.0.1:9") {
            const bool bare = row.endsWith('/') || row.endsWith('@');
            QTest::newRow(name) << Shake{bare ? row + "127.0.0.1:1080" : row, echo, replies, sent, outcome};
        };
        using B = QByteArray;
        const B get = "GET http://127.0.0.1:9/ HTTP/1.0\r\n", auth = "Proxy-Authorization: Basic dTpw\r\n",
                head = "CONNECT 127.0.0.1:9 HTTP/1.1\r\nHost: 127.0.0.1:9\r\n", connect = head + "\r\n";
        const B socks4("\4\1\0\t\177\0\0\1\0", 9), socks5("\5\1\0", 3), to127("\5\1\0\1\177\0\0\1\0\t", 10);
        const B login("\5\2\0\2\1\1u\1p", 9);
        // Asked through an open tunnel, of the echo host itself.
        const B asked = "GET / HTTP/1.0\r\nHost: 127.0.0.1:9\r\n\r\n",
                askedByName = "GET / HTTP/1.0\r\nHost: echo.invalid:9\r\n\r\n";
        add("http, a bare row", "127.0.0.1:1080", {}, get + "\r\n\r\n", "open ");
        add("http, a token", "127.0.0.1:1080", {}, "GET http://127.0.0.1:9/0a1b HTTP/1.0\r\n\r\n\r\n", "open ",
            "127.0.0.1:9/0a1b");
        add("http, credentials", "HTTP://u:p@&H7F.0.0.1:1080", {}, get + auth + "\r\n\r\n", "open ");
        add("connect", "https:// 127.0.0.1 : 1080 :x", {"HTTP/1.1 200\r", "\nX: y\r\n\r", "\nH"}, connect + asked,
            "open H");
        add("connect, login", "https://u:p@127e0.0.0.1:1080", {"HTTP/1.0 299\r\n\r\n"}, head + auth + "\r\n" + asked,
            "open ");
        add("connect, 407", "https://", {"HTTP/1.1 407 Log in\r\n"}, connect, "refused");
        add("connect, HTTP/2", "https://", {"HTTP/2 200\r\n\r\n"}, connect, "refused");
        add("connect, no status line", "https://", {"SSH-2.0-Open"}, connect, "refused");
        add("connect, cut short", "https://", {"HTTP/1.1 200 OK\r\nVia: x\r\n"}, connect, "more");
        add("socks4", "socks4://", {B("\0\x5a\0\0", 4), B("\0\0\0\0H", 5)}, socks4 + asked, "open H");
        add("socks4a, user id", "SOCKS4://id:@", {B("\4\x5a\0\0\0\0\0\0", 8)},
            B("\4\1\0\t\0\0\0\1id\0echo.invalid\0", 24) + askedByName, "open ", "echo.invalid:9");
        add("socks4, 91", "socks4://", {B("\0\x5b\0\0\0\0\0\0", 8)}, socks4, "refused");
        add("socks4, version 5", "socks4://", {B("\5\x5a\0\0\0\0\0\0", 8)}, socks4, "refused");
        add("socks4, cut short", "socks4://", {B("\0\x5a\0\0\0\0\0", 7)}, socks4, "more");
        add("socks5", "socks5://", {"\5", B("\0", 1), B("\5\0\0\1\177\0\0\1\0\x50H", 11)}, socks5 + to127 + asked,
            "open H");
        add("socks5 login, names", "socks5://u:pw@", {"\5\2", B("\1\0", 2), B("\5\0\0\3\3abc\0\x50", 10)},
            B("\5\2\0\2\1\1u\2pw\5\1\0\3\14echo.invalid\0\t", 29) + askedByName, "open ", "echo.invalid:9");
        add("socks5, IPv6", "socks5://u:p@", {B("\5\0", 2), B("\5\0\0\4", 4) + B(18, 0)},
            login.first(4) + to127 + asked, "open ");
        add("socks5, no login offered", "socks5://", {"\5\2"}, socks5, "refused");
        add("socks5, version 4", "socks5://", {B("\4\0", 2)}, socks5, "refused");
        add("socks5 login refused", "socks5://u:p@", {"\5\2", "\1", "\1"}, login, "refused");
        add("socks5 login, version 5", "socks5://u:p@", {"\5\2", B("\5\0", 2)}, login, "refused");
        add("socks5 connect refused", "socks5://", {B("\5\0", 2), "\5\5"}, socks5 + to127, "refused");
        add("socks5 connect, short", "socks5://", {B("\5\0", 2), B("\5\0\0\3\377abc", 8)}, socks5 + to127, "more");
        add("socks5, address type 7", "socks5://", {B("\5\0", 2), B("\5\0\0\7\0", 5)}, socks5 + to127, "refused");
        const B greeting("\5\13\0\0\0\0\0\0\0\r\n\r\n", 13);
        const B loginGreeting = greeting.first(3) + '\2' + greeting.sliced(4);
        add("socks5, searching", "?socks5://", {"\5", B("\0", 1)}, greeting + to127, "socks5 more");
        add("socks5 login, searching", "?socks5://u:p@", {B("\0\x5b", 2)}, loginGreeting, "refused");
        add("searching, login chosen", "?socks5://u:p@", {"\5\2"}, loginGreeting + login.sliced(4), "socks5 more");
        add("searching, no acceptable method", "?socks5://", {"\5\377"}, greeting, "socks5 refused");
        add("searching, login not offered", "?socks5://", {"\5\2"}, greeting, "refused");
        add("searching, a line end chosen", "?socks5://", {"\5\r"}, greeting, "refused");
        add("searching, choice and more at once", "?socks5://", {B("\5\0\0", 3)}, greeting, "refused");
        add("searching, greeting echoed", "?socks5://", {greeting}, greeting, "refused");
    }

    void handshakes()
    {
        QFETCH(Shake, shake);
        const auto &[row, echo, replies, sent, outcome] = shake;
        const bool searching = row.startsWith('?');
        const std::optional<ProxyAddress> proxy = ProxyValidator().address(QLatin1StringView(row).sliced(searching));
        QVERIFY(proxy && proxy->host == QHostAddress(QHostAddress::LocalHost) && proxy->port == 1080);
        const EchoHost host = *EchoHost::parse(echo.section('/', 0, 0));
        const std::unique_ptr<Handshake> handshake = Handshake::create(*proxy, host.target(), searching);
        Handshake::Step step = handshake->opening();
        QByteArray out = step.send, reply;
        for (const QByteArray &piece : replies) { // only while the proxy has more to say
            QCOMPARE(step.outcome, Handshake::Step::NeedMore);
            step = handshake->onReply(reply += piece);
            out += step.send;
            reply.remove(0, step.consumed);
        }
        // Through the open tunnel's byte layer, the echo host is asked and what follows the reply is its answer.
        PlainLayer layer;
        QByteArray answer;
        if (step.outcome == Handshake::Step::Open) {
            out += layer.open(handshake->request(Asking(host, echo.section('/', 1).toLatin1())));
            layer.fromWire(reply, answer);
        }
        const char *const outcomes[] = {"more", "open ", "refused"};
        QCOMPARE(QByteArray(searching && handshake->heard() ? "socks5 " : "") + outcomes[step.outcome] + answer,
                 outcome);
        QCOMPARE(out, sent);
    }

    // The site's answer read as it comes, in the pieces given, then ended ("close", "reset") or left open: the
    // status, de-chunked text across pieces, a body cut at --max-body, and what is not an answer.
    void siteAnswers_data()
    {
        QTest::addColumn<QString>("expected"); // texts, comma-separated|statuses|max body
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("verdict");
        const QByteArray ok = "HTTP/1.1 200 OK\r\n", chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
        const auto add = [](const char *name, const QString &expected, const QByteArrayList &pieces, const QString &end,
                            const QString &verdict) { QTest::newRow(name) << expected << pieces << end << verdict; };
        add("sized page", "korvane||", {ok + "Content-Length: 12\r\n\r\nhi korvane!!"}, "", "Site OK 200 ");
        add("chunks", "hello korvane||", {chunked + "5;x=1\r\nhel", "lo\r\n8\r\n kor", "vane\r\n0\r\n\r\n"}, "",
            "Site OK 200 ");
        add("chunk cut", "korvane||", {chunked + "5\r\nkorva"}, "close", "Site Error 200 answer cut short");
        add("bad chunk", "||", {chunked + "zz\r\n"}, "", "Site Error 200 bad chunked coding");
        add("redirect", "korvane||", {"HTTP/1.1 302 Found\r\nlocation: https://x/login\r\n\r\n"}, "",
            "Site Refused 302 https://x/login");
        add("403 expected", "|403,500-599|", {"HTTP/1.0 403 No\r\nContent-Length: 0\r\n\r\n"}, "", "Site OK 403 ");
        add("200 not expected", "|403|", {ok + "\r\n"}, "", "Site Refused 200 ");
        add("to the close", "a,b||", {"HTTP/1.0 200 OK\r\n\r\nb", "..."}, "close", "Text Missing 200 a");
        add("max body", "korvane||4", {ok + "\r\n0123korvane"}, "", "Text Missing 200 korvane");
        add("continue", "||", {"HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 0\r\n\r\n"}, "", "Site OK 200 ");
        add("no content", "x||", {"HTTP/1.1 204 None\r\n\r\n"}, "", "Text Missing 204 x");
        add("head unfinished", "||", {ok + "Server: x\r\n"}, "", "waits");
        add("closed at once", "||", {}, "close", "Site Error 0 closed without an answer");
        add("reset", "||", {ok + "Content-Length: 9\r\n\r\nab"}, "reset", "Site Error 200 connection reset");
        add("not http", "||", {"SSH-2.0-OpenSSH\r\n"}, "", "Site Error 0 not an HTTP answer");
        add("bad length", "||", {ok + "Content-Length: -1\r\n\r\n"}, "", "Site Error 200 bad Content-Length");
        add("endless head", "||", {ok + QByteArray(SiteJudgement::MaxHeadBytes, 'h')}, "",
            "Site Error 0 headers too long");
    }
    void siteAnswers()
    {
        QFETCH(QString, expected);
        QFETCH(QByteArrayList, pieces);
        QFETCH(QString, end);
        SiteCheck site = std::get<SiteCheck>(SiteCheck::fromUrl("http://127.0.0.1/"));
        const QStringList parts = expected.split('|');
        for (const QString &text : parts[0].split(',', Qt::SkipEmptyParts))
            site.texts.append(text.toUtf8());
        if (!parts[1].isEmpty())
            site.statuses = SiteCheck::statusesFrom(parts[1]).value();
        site.maxBody = parts[2].isEmpty() ? site.maxBody : parts[2].toInt();
        SiteJudgement judgement(site);
        QByteArray answer;
        std::optional<RowVerdict> verdict;
        for (qsizetype i = 0; i < pieces.size() && !verdict; ++i)
            verdict = judgement.look(answer += pieces[i]);
        if (!verdict && !end.isEmpty())
            verdict = end == "close" ? judgement.onClosed(answer) : judgement.onFailed(answer);
        const QString seen = verdict ? QString("%1 %2 %3")
                                           .arg(verdict->site->word())
                                           .arg(verdict->site->httpStatus)
                                           .arg(verdict->site->reason)
                                     : "waits";
        QTEST(seen, "verdict");
    }

    // The site's request, through a tunnel and in the absolute form an HTTP proxy takes.
    void siteRequests()
    {
        const SiteCheck site = std::get<SiteCheck>(SiteCheck::fromUrl("https://[::1]:8443/a%20b?q=1#top"));
        const SiteJudgement judgement(site);
        QCOMPARE(judgement.directRequest(), "GET /a%20b?q=1 HTTP/1.1\r\nHost: [::1]:8443\r\nConnection: close\r\n\r\n");
        QCOMPARE(judgement.proxyRequest("X: y\r\n"), "GET https://[::1]:8443/a%20b?q=1 HTTP/1.1\r\nHost: [::1]:8443\r\n"
                                                     "X: y\r\nConnection: close\r\n\r\n");
    }

    // Schemes speak their protocols; a name not found (a label over 63 bytes: no query leaves) asks for SOCKS 4a.
    void tunnels_data()
    {
        QTest::addColumn<Tunnel>("tunnel");
        const auto add = [](const char *name, const char *scheme, FakeProxy::Behaviour behaviour, const QString &echo,
                            const char *verdict, const QByteArray &request = {}) {
            QTest::newRow(name) << Tunnel{scheme, behaviour, echo, verdict, request};
        };
        const QString unknown = QString(64, 'x') + ".invalid";
        const QByteArray socks4("\x04\x01\x00\x09", 4);
        add("socks4, a name found", "socks4://", FakeProxy::Socks4Echo, "localhost:9", "Y Working 127.0.0.1",
            socks4 + QByteArray("\x7f\0\0\x01\0", 5));
        add("socks4a, a name not found", "socks4://", FakeProxy::Socks4Echo, unknown + ":9", "Y Working 127.0.0.1",
            socks4 + QByteArray("\0\0\0\x01\0", 5) + unknown.toLatin1() + '\0');
        add("socks5 reply cut short", "socks5://", FakeProxy::Socks5CutShort, "127.0.0.1:9", "- Invalid Response");
        add("CONNECT, endless headers", "https://", FakeProxy::ConnectEndlessHeaders, "127.0.0.1:9",
            "- Invalid Response");
    }

    void tunnels()
    {
        QFETCH(Tunnel, tunnel);
        const auto &[scheme, behaviour, echo, verdict, request] = tunnel;
        Harness h(1);
        const FakeProxy proxy(behaviour);
        h.list.addRows({scheme + proxy.row()});
        h.run.setEchoHosts({echo});
        h.start(1, 1);
        QCOMPARE(h.verdicts(), QStringList(verdict));
        QCOMPARE(proxy.requests().join(), request);
    }

    // A row written as an IPv6 address reaches its proxy there; without your addresses, a page showing that address
    // is the proxy's own: anonymous.
    void proxyOverIPv6()
    {
        const FakeProxy proxy(FakeProxy::EchoOwnAddress, QHostAddress::LocalHostIPv6);
        if (proxy.port() == 0)
            QSKIP("::1 is not available here");
        Harness h(1);
        h.list.addRows({"http://[::1]:" + QString::number(proxy.port())});
        h.start(1, 1);
        QCOMPARE(h.verdicts(), QStringList("Y Working ::1"));
    }

    // A run looks its names up afresh, once each: a name lost in one run is found in the next, and a row that comes
    // after the answer takes it. Qt itself keeps an answer for a minute, by the name as spelt: each run's first row
    // spells it as no other test does.
    void namesLookedUpEachRun()
    {
        Harness h(1);
        const FakeProxy proxy(FakeProxy::EchoOwnAddress);
        const QString port = QString::number(proxy.port());
        h.list.addRows({"http://LOCALHOST:" + port, "http://Localhost:" + port, "http://localhost:" + port});
        h.model.selectionModel()->select(h.model.index(0, 0), QItemSelectionModel::Select);
        localhostLost = true;
        h.start(3, 2, CheckRows::Mode::Selected);
        localhostLost = false;
        h.run.setPool(true); // one at a time: the last row's name is answered by the run's own look-up
        h.start(3, 1, CheckRows::Mode::Untested);
        QCOMPARE(h.verdicts(), QStringList({"- Error", "Y Working 127.0.0.1", "Y Working 127.0.0.1"}));
    }

    // Every protocol through real servers, refused credentials and tunnels, the wrong protocol for a server too.
    // Asked directly, the echo host sees 127.0.0.1: a proxy that connects out from another address is anonymous.
    void realServers()
    {
        for (const char *program : {"tinyproxy", "microsocks", "danted"})
            if (QStandardPaths::findExecutable(program, {"/usr/bin", "/usr/sbin"}).isEmpty())
                QSKIP(qPrintable(QString("%1 is not installed (scripts/install-deps.sh installs it)").arg(program)));
        QTemporaryDir folder;
        EchoServer echo;
        const QHostAddress first("127.0.0.1"), second("127.0.0.2");
        const auto http = tinyproxy(folder.path(), first, "u", "p", {echo.serverPort()});
        const auto closed = tinyproxy(folder.path(), second, {}, {}, {1}),
                   bound = tinyproxy(folder.path(), first, {}, {}, {}, "127.0.0.2");
        const auto open = microsocks(first), guarded = microsocks(second, "u", "p:q"),
                   login = microsocks(first, "v", "w");
        const bool ipv6 = QTcpServer().listen(QHostAddress::LocalHostIPv6);
        const auto danted = dante(folder.path(), second, "127.0.0.3"),
                   overIpv6 = microsocks(ipv6 ? QHostAddress::LocalHostIPv6 : first);
        QTRY_VERIFY2_WITH_TIMEOUT(http->ready() && closed->ready() && bound->ready() && open->ready() &&
                                      guarded->ready() && danted->ready() && login->ready() && overIpv6->ready(),
                                  QByteArray(http->log() + closed->log() + danted->log()).constData(), 10000);
        // A name is looked up once for its rows, in any case; one whose look-up fails (no query leaves for a label
        // that begins with a hyphen) is an error.
        const std::vector<std::pair<QString, QString>> cases = {
            {"http://u:p@" + http->hostPort(), "N Working 127.0.0.1"},
            {"http://u:p@LocalHost:" + QString::number(http->port()), "N Working 127.0.0.1"},
            {"socks5://localhost:" + QString::number(open->port()), "N Working 127.0.0.1"},
            {"socks5://-x.invalid:1", "- Error"},
            {http->hostPort() + ":u:p", "N Working 127.0.0.1"},
            {http->hostPort() + ":u:wrong", "- Invalid Response"},
            {"HTTPS://u:p@" + http->hostPort(), "N Working 127.0.0.1"},
            {bound->hostPort(), "Y Working 127.0.0.2"},
            {"socks5://u:p:q@" + guarded->hostPort(), "N Working 127.0.0.1"},
            {"socks4://" + danted->hostPort(), "Y Working 127.0.0.3"},
            {"socks5://" + danted->hostPort(), "Y Working 127.0.0.3"},
            {"http://u:wrong@" + http->hostPort(), "- Invalid Response"},
            {http->hostPort(), "- Invalid Response"}, // 407, then a reset
            {open->hostPort(), "- Invalid Response"},
            {"socks5://" + closed->hostPort(), "- Timeout"},
        };
        const auto check = [&echo](const std::vector<std::pair<QString, QString>> &rows, bool echoCheck = true,
                                   ProxyAddress::Protocol bare = ProxyAddress::Protocol::Http) {
            Harness h(1);
            h.run.setEchoHosts({echo.host()});
            h.run.setEchoCheck(echoCheck);
            h.run.setBareProtocol(bare);
            QStringList expected;
            for (const auto &[row, verdict] : rows) {
                h.list.addRows({row});
                expected << verdict;
            }
            h.run.setSettings({20, std::chrono::seconds(3)});
            QVERIFY(runToEnd(h.run));
            QCOMPARE(h.verdicts(), expected);
        };
        check(cases);
        // Bare rows as SOCKS 5, without the echo check: a named proxy is anonymous when the page shows its address.
        check({{login->hostPort() + ":v:w", "Y Working 127.0.0.1"},
               {login->hostPort() + ":v:x", "- Invalid Response"},
               {"SOCKS5://localhost:" + QString::number(open->port()), "Y Working 127.0.0.1"}},
              false, ProxyAddress::Protocol::Socks5);
        if (!ipv6)
            QSKIP("::1 is not available here");
        check({{"socks5://[::1]:" + QString::number(overIpv6->port()), "N Working 127.0.0.1"}});
    }

    // Where a proxy leaves, not where it listens: tinyproxy and dante on 127.0.0.1 (DE in the test database) leave
    // from 127.0.0.3 (NL). A row naming its host is located by the address its name led to, once probed.
    void exitCountry()
    {
        for (const char *program : {"tinyproxy", "danted"})
            if (QStandardPaths::findExecutable(program, {"/usr/bin", "/usr/sbin"}).isEmpty())
                QSKIP(qPrintable(QString("%1 is not installed (scripts/install-deps.sh installs it)").arg(program)));
        QTemporaryDir folder;
        GeoDatabase::setChosenPath(TestGeoDatabase::write(folder.filePath("test.db")));
        EchoServer echo;
        const QHostAddress first("127.0.0.1");
        const auto tiny = tinyproxy(folder.path(), first, {}, {}, {}, "127.0.0.3");
        const auto danted = dante(folder.path(), first, "127.0.0.3");
        QTRY_VERIFY2_WITH_TIMEOUT(tiny->ready() && danted->ready(), QByteArray(tiny->log() + danted->log()).constData(),
                                  10000);
        Harness h(1);
        h.run.setEchoHosts({echo.host()});
        h.list.addRows(
            {tiny->hostPort(), "socks5://localhost:" + QString::number(danted->port()), "socks5://localhost:1"});
        const auto countries = [&h] {
            QString codes;
            for (int r = 0; r < h.list.count(); ++r)
                codes += h.list.locate(r) ? h.list.locate(r)->countryCode : "-";
            return codes;
        };
        QCOMPARE(countries(), "DE--");
        h.run.setSettings({5, std::chrono::seconds(3)});
        QVERIFY(runToEnd(h.run));
        QCOMPARE(countries(), "NLNLDE");
        GeoDatabase::setChosenPath({});
    }

    // The user's site through each kind of tunnel of real proxies: TLS inside CONNECT (tinyproxy, squid) and SOCKS 5
    // and 4 (microsocks, dante), plain http in absolute form (squid) and inside a tunnel; and what a proxy that
    // intercepts TLS, a certificate for another name, a redirect, a missing text and a stalled handshake show.
    void siteThroughRealServers()
    {
        QTemporaryDir folder;
        const QByteArray failure = makeTestCertificates(folder.path());
        QVERIFY2(failure.isEmpty(), failure.constData());
        const auto pem = [&folder](const char *name) { return folder.filePath(QString(name) + ".pem"); };
        const auto key = [&folder](const char *name) { return folder.filePath(QString(name) + ".key"); };
        HttpsServer site(HttpsServer::Tls, pem("good"), key("good")), plain(HttpsServer::Plain, {}, {}),
            wrongName(HttpsServer::Tls, pem("wrong"), key("wrong")),
            stalls(HttpsServer::StallsHandshake, pem("good"), key("good")),
            intercepting(HttpsServer::InterceptingProxy, pem("other"), key("other"));
        site.setLocation("https://127.0.0.1/login");
        EchoServer echo;
        const QHostAddress loopback("127.0.0.1");
        const auto http = tinyproxy(folder.path(), loopback), socks5 = microsocks(loopback),
                   danted = dante(folder.path(), loopback, "127.0.0.1"), squidProxy = squid(folder.path(), loopback);
        if (!squidProxy)
            QSKIP("squid is not installed (scripts/install-deps.sh installs it)");
        QTRY_VERIFY_WITH_TIMEOUT(http->ready() && socks5->ready() && danted->ready() && squidProxy->ready(), 20000);
        const QString viaHttp = http->hostPort(), viaSocks5 = "socks5://" + socks5->hostPort(),
                      viaSocks4 = "socks4://" + danted->hostPort(), viaSquid = squidProxy->hostPort(),
                      viaInterceptor = "https://127.0.0.1:" + QString::number(intercepting.port());
        // Each row's status, then its site's verdict, status code and reason.
        const auto check = [&](const QString &url, const QStringList &rows, const QByteArray &text = "over TLS",
                               int seconds = 3) -> QString {
            Harness h(1);
            h.run.setEchoHosts({echo.host()});
            h.run.setPool(true);
            SiteCheck check = std::get<SiteCheck>(SiteCheck::fromUrl(url));
            check.caFile = pem("ca");
            check.texts = {text};
            const QString set = h.run.setSite(check);
            h.list.addRows(rows);
            h.run.setSettings({20, std::chrono::seconds(seconds)});
            QStringList seen;
            if (runToEnd(h.run)) {
                for (int r = 0; r < h.list.count(); ++r) {
                    const std::optional<SiteVerdict> verdict = h.list.site(r);
                    seen << h.statuses()[r] + (verdict ? QString(" %1 %2 %3")
                                                             .arg(verdict->word())
                                                             .arg(verdict->httpStatus)
                                                             .arg(verdict->reason)
                                                       : QString(" -"));
                }
            }
            return set + seen.join('\n');
        };
        const QString port = QString::number(site.port());
        QCOMPARE(check("https://127.0.0.1:" + port + "/", {viaHttp, viaSocks5, viaSocks4, viaSquid, viaInterceptor}),
                 QString("Working Site OK 200 \n").repeated(4) + "Working TLS Failed 0 unknown issuer");
        QCOMPARE(check("https://localhost:" + port + "/moved", {viaSocks5}),
                 "Working Site Refused 302 https://127.0.0.1/login");
        // A page that never ends is read to --max-body, then judged.
        QCOMPARE(check("https://localhost:" + port + "/endless", {viaSocks5}), "Working Text Missing 200 over TLS");
        QCOMPARE(check("https://localhost:" + QString::number(wrongName.port()) + "/", {viaSocks5}),
                 "Working TLS Failed 0 name mismatch");
        const QString plainPage = "http://127.0.0.1:" + QString::number(plain.port());
        QCOMPARE(check(plainPage + "/", {viaSquid, viaSocks5, viaHttp}, "absent"),
                 QString("Working Text Missing 200 absent\n").repeated(3).chopped(1));
        QCOMPARE(check(plainPage + "/absent", {viaSquid}), "Working Site Refused 404 ");
        QCOMPARE(check("https://127.0.0.1:" + QString::number(stalls.port()) + "/", {viaSocks5}, "over TLS", 1),
                 "Working Site Timeout 0 ");
        QCOMPARE(check("http://127.0.0.1:1/", {viaSocks5, "127.0.0.1:1"}),
                 "Working Site Error 0 tunnel refused\nError -");
    }

    // The echo hosts asked first: a dead one leaves every row as it was, those that answered take the probes in turn,
    // Abort while they are asked ends the run at once, and one lost during a run of failures is told.
    void echoStep_data()
    {
        QTest::addColumn<Echoing>("echoing");
        const auto add = [](const char *name, const QStringList &hosts, const QString &told,
                            const QStringList &verdicts, const QString &action = {}, int refusedRows = 0) {
            QTest::newRow(name) << Echoing{hosts, action, refusedRows, told, verdicts};
        };
        const QStringList asBefore{"- Timeout", ""}, checked{"N Working 127.0.0.1", "Y Working 127.0.0.44"},
            errors(20, "- Error");
        const QString unasked = "started finished untouched, ", probed = "started finished probed";
        add("live", {"live"}, probed + " via live via live", checked);
        add("Korvane, pages of the proxies' own", {"korvane"}, probed + " via korvane via korvane",
            {"- Invalid Response", "- Invalid Response"});
        add("refused", {"refused"}, unasked + "refused: the connection was refused", asBefore);
        add("never answers", {"silent"}, unasked + "silent: no answer within the timeout", asBefore);
        add("page without markers", {"plain"}, unasked + "plain: the page shows no address", asBefore);
        add("never stops talking", {"stream"}, unasked + "stream: the page shows no address", asBefore);
        add("name not found", {"unknown"}, unasked + "unknown: the name was not found", asBefore);
        add("two live of three", {"live", "refused", "second"},
            probed + " via live via second, refused: the connection was refused", checked);
        // Each probe is judged by what its own host saw of you: not by another's, which shows 127.0.0.44.
        add("one host shows another address", {"liar", "live"}, probed + " via liar via live",
            {"Y Working 127.0.0.1", "Y Working 127.0.0.44"});
        add("not asked", {"refused"}, probed + " via refused via refused",
            {"Y Working 127.0.0.1", "N Working 127.0.0.44"}, "no check");
        add("abort while asking", {"silent"}, "started finished abort untouched aborted", asBefore, "abort");
        add("host lost", {"live"}, probed + " lost", errors, "close", 20);
        add("host lost, aborted", {"live"}, probed + " aborted", errors, "close abort", 20);
        add("host still there", {"live"}, probed, errors, "", 20);
        add("too few failures", {"live"}, probed, errors.first(19), "close", 19);
    }

    void echoStep()
    {
        QFETCH(Echoing, echoing);
        const auto &[hosts, action, refusedRows, told, verdicts] = echoing;
        EchoServer live, live2, korvane(true);
        const FakeProxy own(FakeProxy::EchoOwnAddress), other(FakeProxy::EchoOtherAddress), refused(FakeProxy::Refused),
            silent(FakeProxy::Silent), plain(FakeProxy::NoMarkers), stream(FakeProxy::EndlessStream),
            liar(FakeProxy::EchoOtherAddress);
        const QStringList kinds{"live", "second", "refused", "silent", "plain", "stream", "unknown", "korvane", "liar"};
        const QString unknown = QString(64, 'x') + ".invalid:9";
        const QStringList texts{live.host(),  live2.host(), refused.row(),  silent.row(), plain.row(),
                                stream.row(), unknown,      korvane.host(), liar.row()};
        Harness h(1);
        QStringList echoHosts = hosts;
        for (qsizetype k = 0; k < kinds.size(); ++k)
            echoHosts.replaceInStrings(kinds[k], texts[k]);
        h.run.setEchoHosts(echoHosts);
        h.run.setEchoCheck(action != "no check");
        h.run.setSettings({20, std::chrono::seconds(1)});
        h.list.addRows(refusedRows ? QStringList(refusedRows, refused.row()) : QStringList{own.row(), other.row()});
        h.list.apply(0, {ProxyResult::failed(ProxyStatus::Timeout)});
        const QSignalSpy changed(&h.list, &ProxyList::resultsChanged);
        // Once the last row is handed out, the echo host goes.
        connect(&h.list, &ProxyList::resultsChanged, this, [&, action = action, last = refusedRows - 1](int row) {
            if (action.startsWith("close") && row == last && h.list.result(row).status == ProxyStatus::Checking)
                live.close(), action.endsWith("abort") ? h.run.abort() : void();
        });
        if (action == "abort")
            QTimer::singleShot(0, &h.list, [&h] { h.run.abort(), h.calls += "abort "; });
        QVERIFY(runToEnd(h.run));
        QString shown = h.calls + (h.outcome.probed ? "probed" : "") + (changed.isEmpty() ? "untouched" : "") +
                        (h.outcome.aborted ? " aborted" : "") + (h.outcome.echoLost ? " lost" : "");
        for (const FakeProxy *proxy : {&own, &other})
            for (const QByteArray &request : proxy->requests())
                shown += " via " + QString::fromLatin1(request).section('/', 2, 2);
        for (const auto &[host, reason] : h.outcome.silentHosts)
            shown += ", " + host + ": " + reason;
        for (qsizetype k = 0; k < kinds.size(); ++k)
            shown.replace(QRegularExpression(QRegularExpression::escape(texts[k]) + "\\b"), kinds[k]);
        QCOMPARE(shown, told);
        QCOMPARE(h.verdicts(), verdicts);
    }

    // An echo host that dies once some rows worked: the other takes the rows it failed since, and every row works.
    // (Alone, it leaves them untested: the window's and korvane-cli's tests.)
    void echoHostDiesMidRun()
    {
        EchoServer dying, staying;
        const QString dyingHost = dying.host();
        const FakeProxy relay(FakeProxy::ForwardsAddingXff);
        Harness h(1);
        h.run.setEchoHosts({dyingHost, staying.host()});
        h.run.setEchoCheck(true);
        h.run.setPool(true);
        h.run.setSettings({1, std::chrono::seconds(2)});
        for (int i = 0; i < 60; ++i)
            h.list.addRows({relay.row() + ':' + QString::number(i)});
        int working = 0;
        connect(&h.list, &ProxyList::resultsChanged, this, [&](int row) {
            if (h.list.result(row).status == ProxyStatus::Working && ++working == 5)
                dying.close();
        });
        QVERIFY(runToEnd(h.run));
        QCOMPARE(h.verdicts(), QStringList(60, "N Working 127.0.0.1"));
        QVERIFY(!h.outcome.echoLost && h.outcome.lostHosts.size() == 1 &&
                h.outcome.lostHosts.front().host == dyingHost);
    }

    // A row's time runs from its own connection attempt: 50 and 400 ms proxies in batches of three, one slow to accept.
    void speedIsEachProbesOwn()
    {
        Harness h(1);
        const FakeProxy fast(FakeProxy::EchoOwnAddress, QHostAddress::LocalHost, 50),
            slow(FakeProxy::EchoOwnAddress, QHostAddress::LocalHost, 400), slowAccept(FakeProxy::SlowAccept);
        h.list.addRows(QStringList{slowAccept.row(), fast.row(), slow.row()} + QStringList(3, fast.row()));
        // On the run's clock, each row's time lies within the time between its own notices: handed out, judged.
        QList<qint64> span(6);
        connect(&h.list, &ProxyList::resultsChanged, this, [&](int row) { span[row] = h.nowMs() - span[row]; });
        h.start(6, 3, CheckRows::Mode::All, 2);
        const qint64 delays[] = {950, 50, 400, 50, 50, 50};
        for (int r = 0; r < 6; ++r) {
            const std::optional<int> ms = h.list.result(r).ms;
            QVERIFY2(ms && *ms >= delays[r] && *ms <= span[r], qPrintable(QString::number(ms.value_or(-1))));
            QCOMPARE(columnTexts(h.list, 2)[r], QString("%1 ms").arg(*ms));
        }
    }

    // Out of sockets, a row stays untested, the batch under way ends and so does the run, which says why; the next
    // run tests it.
    void shortageLeavesRowsUntested()
    {
        Harness h;
        const FakeProxy refused(FakeProxy::Refused);
        h.list.addRows(QStringList(6, refused.row()));
        rlimit saved = {};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
        // Room for two more descriptors: the limit is on their numbers, and the lowest free ones are taken first. The
        // location database, which a run opens as it starts, holds one of its own.
        GeoDatabase::forThisThread();
        int fd = 0;
        for (int free = 0; free < 2; ++fd)
            free += ::fcntl(fd, F_GETFD) < 0;
        const rlimit limit{rlim_t(fd), saved.rlim_max};
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
        h.shortage = qt_error_string(EMFILE);
        h.start(6, 6);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &saved) == 0);
        QCOMPARE(h.statuses(), QStringList({"Error", "Error", "", "", "", ""}));
        // The next run's sockets take the numbers of those the first kept and closed as it ended.
        h.shortage.clear();
        h.start(6, 6, CheckRows::Mode::Untested);
        QCOMPARE(h.statuses(), QStringList(6, "Error"));
    }

    // Abort ends after the batch, "Test untested" goes on, "Test selected" reads each row's selection as it comes.
    void modes()
    {
        Harness h;
        QTimer::singleShot(0, &h.list, [&h] { h.run.abort(); });
        h.start(5, 2);
        h.start(5, 2, CheckRows::Mode::Untested);
        h.start(5, 2);
        QItemSelectionModel &selection = *h.model.selectionModel();
        selection.select(QItemSelection(h.model.index(0, 0), h.model.index(1, 0)), QItemSelectionModel::Select);
        // Row 2 unselected and row 3 selected after the run has started.
        const QItemSelection rows2and3(h.model.index(1, 0), h.model.index(2, 0));
        QTimer::singleShot(0, &h.list, [&] { selection.select(rows2and3, QItemSelectionModel::Toggle); });
        h.start(5, 1, CheckRows::Mode::Selected);
        QCOMPARE(h.batches, QList<int>({0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 6, 7}));
        QVERIFY(h.nowMs() >= qint64(h.waits) * 1000); // each batch waited for its deadline
        QCOMPARE(h.statuses(), QStringList({Timeout, "", Timeout, Timeout, Timeout}));
    }
};

QTEST_GUILESS_MAIN(TestChecker)
#include "tst_checker.moc"

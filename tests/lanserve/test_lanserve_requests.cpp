// How Lanserve reads what a client sends before any page sees it: which paths name a page, form fields,
// cookies and body framing from raw bytes, and the deadline by which a request must have arrived (and
// which connection makes room when too many are open).

#include "lanserve/HttpText.h"
#include "lanserve/RequestDeadlines.h"

#include <QTest>

#include <zlib.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

class TestLanserveRequests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pathsNamingPages_data();
    void pathsNamingPages();
    void entryPaths();
    void formFieldsFromRawText();
    void sessionCookie_data();
    void sessionCookie();
    void transferCodings_data();
    void transferCodings();
    void gzipOnlyWhereTheBrowserTakesIt();
    void deadlineCutsOnlyWaitingConnections();
    void deadlineStartsAgainAfterEachAnswer();
    void longestWaitingMakesRoom();
    void crowdedServerWaitsLess();
    void sweepingThreadCutsOverdueConnections();
};

void TestLanserveRequests::pathsNamingPages_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("page"); // empty: no page
    QTest::newRow("list") << QByteArray("/phone/list.asp") << "list.asp";
    QTest::newRow("20 letters") << QByteArray("/phone/abcdefghijabcdefghij.asp")
                                << "abcdefghijabcdefghij.asp";
    QTest::newRow("21 letters") << QByteArray("/phone/abcdefghijabcdefghijk.asp") << "";
    QTest::newRow("upper case") << QByteArray("/phone/LIST.asp") << "";
    QTest::newRow("dot dot") << QByteArray("/phone/../list.asp") << "";
    QTest::newRow("double slash") << QByteArray("/phone//list.asp") << "";
    QTest::newRow("encoded") << QByteArray("/phone/%6cist.asp") << "";
    QTest::newRow("trailing slash") << QByteArray("/phone/list.asp/") << "";
    QTest::newRow("no name") << QByteArray("/phone/.asp") << "";
    QTest::newRow("other folder") << QByteArray("/phones/list.asp") << "";
    QTest::newRow("other suffix") << QByteArray("/phone/list.aspx") << "";
    QTest::newRow("database") << QByteArray("/phone/数据库.dat") << "";
}

void TestLanserveRequests::pathsNamingPages() {
    QFETCH(QByteArray, path);
    QFETCH(QString, page);
    const std::optional<std::string> found = HttpText::PageOfPath(path.toStdString());
    QCOMPARE(found ? QString::fromStdString(*found) : QString(), page);
}

void TestLanserveRequests::entryPaths() {
    for (const char* path : {"/", "/phone", "/phone/"})
        QVERIFY2(HttpText::IsEntryPath(path), path);
    for (const char* path : {"", "//", "/phone//", "/index.html", "/phone/x", "/Phone/"})
        QVERIFY2(!HttpText::IsEntryPath(path), path);
    const HttpText::Target target = HttpText::SplitTarget("/phone/menu.asp?t=1&s=a?b");
    QCOMPARE(QByteArray(target.path.data(), target.path.size()), QByteArray("/phone/menu.asp"));
    QCOMPARE(QByteArray(target.query.data(), target.query.size()), QByteArray("t=1&s=a?b"));
    const HttpText::Target absolute = HttpText::SplitTarget("HTTP://127.0.0.1:8212/phone/list.asp?x=1");
    QCOMPARE(QByteArray(absolute.path.data(), absolute.path.size()), QByteArray("/phone/list.asp"));
    QCOMPARE(QByteArray(absolute.query.data(), absolute.query.size()), QByteArray("x=1"));
    const HttpText::Target bare = HttpText::SplitTarget("http://host");
    QCOMPARE(QByteArray(bare.path.data(), bare.path.size()), QByteArray("/"));
}

void TestLanserveRequests::formFieldsFromRawText() {
    QMultiHash<QString, QString> fields;
    HttpText::AddFormFields("a=1&s=%E4%BD%A0+x&&=empty&flag&bad=%zz%4&nul=x%00y&qty=1&qty=2", fields);
    QCOMPARE(fields.value("a"), QStringLiteral("1"));
    QCOMPARE(fields.value("s"), QStringLiteral("你 x"));
    QVERIFY(!fields.contains(QString()));
    QVERIFY(fields.contains("flag"));
    QCOMPARE(fields.value("flag"), QString());
    QCOMPARE(fields.value("bad"), QStringLiteral("%zz%4"));
    // A NUL stays inside the value: it never cuts it short.
    QCOMPARE(fields.value("nul"), QString::fromUtf8("x\0y", 3));
    QCOMPARE(fields.values("qty").size(), 2);
    // An encoded '=' or '&' is part of the value, not a separator.
    fields.clear();
    HttpText::AddFormFields("k=a%3Db%26c", fields);
    QCOMPARE(fields.size(), 1);
    QCOMPARE(fields.value("k"), QStringLiteral("a=b&c"));
}

void TestLanserveRequests::sessionCookie_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("value"); // "-": none
    QTest::newRow("alone") << QByteArray("cjstaff=abc") << "abc";
    QTest::newRow("among others") << QByteArray("a=1; cjstaff=abc; b=2") << "abc";
    QTest::newRow("longer name first") << QByteArray("xcjstaff=bad; cjstaff=good") << "good";
    QTest::newRow("prefix of the name") << QByteArray("cjstaf=bad") << "-";
    QTest::newRow("no value") << QByteArray("cjstaff") << "-";
    QTest::newRow("empty value") << QByteArray("cjstaff=") << "";
}

void TestLanserveRequests::sessionCookie() {
    QFETCH(QByteArray, header);
    QFETCH(QString, value);
    const std::optional<std::string> found = HttpText::CookieValue(header.toStdString(), "cjstaff");
    QCOMPARE(found ? QString::fromStdString(*found) : QStringLiteral("-"), value);
}

void TestLanserveRequests::transferCodings_data() {
    QTest::addColumn<QByteArray>("codings");
    QTest::addColumn<int>("refusal"); // 0: the body is read
    QTest::newRow("chunked") << QByteArray("chunked") << 0;
    QTest::newRow("any case, blanks, empty items") << QByteArray(" , Chunked\t") << 0;
    QTest::newRow("chunked not last") << QByteArray("chunked, identity") << 400;
    QTest::newRow("no chunked") << QByteArray("gzip") << 400;
    QTest::newRow("chunked twice") << QByteArray("chunked,chunked") << 400;
    QTest::newRow("empty") << QByteArray("") << 400;
    QTest::newRow("unknown coding first") << QByteArray("gzip, chunked") << 501;
}

void TestLanserveRequests::transferCodings() {
    QFETCH(QByteArray, codings);
    QFETCH(int, refusal);
    QCOMPARE(HttpText::TransferCodingRefusal(codings.toStdString()).value_or(0), refusal);
}

namespace {

// A clock the test moves by hand, and the sockets the deadlines cut off.
struct FakeTime {
    explicit FakeTime(RequestDeadlines::Limits limits = {10s})
        : deadlines(
              limits, [this] { return now; }, [this](int socket) { cut.push_back(socket); }) {}
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    std::vector<int> cut;
    RequestDeadlines deadlines;
};

} // namespace

void TestLanserveRequests::gzipOnlyWhereTheBrowserTakesIt() {
    for (const char* takes : {"gzip", "gzip, deflate, br", "br;q=1.0, GZIP;q=0.5", " deflate , gzip ;q=1"})
        QVERIFY2(HttpText::AcceptsGzip(takes), takes);
    for (const char* refuses :
         {"", "identity", "deflate, br", "gzip;q=0", "gzip; q=0.000", "x-gzip", "gzipx"})
        QVERIFY2(!HttpText::AcceptsGzip(refuses), refuses);

    // What goes out unpacks to the page again.
    const QByteArray page = QByteArray("<div class=\"d\">宫保鸡丁</div>\n").repeated(500);
    const QByteArray packed = HttpText::Gzipped(page);
    QVERIFY(!packed.isEmpty() && packed.size() < page.size() / 10);
    QVERIFY(packed.startsWith("\x1f\x8b"));
    z_stream stream{};
    QCOMPARE(inflateInit2(&stream, 15 + 16), Z_OK);
    QByteArray unpacked(page.size() + 16, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(unpacked.data());
    stream.avail_out = static_cast<uInt>(unpacked.size());
    QCOMPARE(inflate(&stream, Z_FINISH), Z_STREAM_END);
    unpacked.truncate(static_cast<qsizetype>(stream.total_out));
    inflateEnd(&stream);
    QCOMPARE(unpacked, page);
}

void TestLanserveRequests::deadlineCutsOnlyWaitingConnections() {
    FakeTime time;
    time.deadlines.opened(3); // sends its head a line at a time
    time.deadlines.opened(4); // sends its request whole
    time.deadlines.opened(5); // closes early
    time.now += 2s;
    time.deadlines.received(4);
    time.deadlines.closed(5);
    time.now += 7900ms;
    QCOMPARE(time.deadlines.sweep(), 0);
    time.now += 200ms;
    QCOMPARE(time.deadlines.sweep(), 1);
    QCOMPARE(time.cut, std::vector<int>{3});
    // Cut once: the library closes it in its own time.
    time.now += 5s;
    QCOMPARE(time.deadlines.sweep(), 0);
    QCOMPARE(time.cut, std::vector<int>{3});
}

void TestLanserveRequests::deadlineStartsAgainAfterEachAnswer() {
    FakeTime time;
    time.deadlines.opened(7);
    time.now += 1s;
    time.deadlines.received(7);
    time.now += 30s; // a slow page is never cut while it is worked on
    QCOMPARE(time.deadlines.sweep(), 0);
    time.deadlines.answered(7);
    time.now += 9s;
    QCOMPARE(time.deadlines.sweep(), 0);
    time.now += 2s; // idle keep-alive, or a next head that never completes
    QCOMPARE(time.deadlines.sweep(), 1);
    QCOMPARE(time.cut, std::vector<int>{7});
}

void TestLanserveRequests::longestWaitingMakesRoom() {
    FakeTime time({.wait = 10s, .room = 3});
    time.deadlines.opened(1); // a head that never ends
    time.now += 1s;
    time.deadlines.opened(2);
    time.deadlines.received(2); // a request being worked on is never cut to make room
    time.now += 1s;
    time.deadlines.opened(3);
    QVERIFY(time.cut.empty());
    time.now += 1s;
    time.deadlines.opened(4);
    QCOMPARE(time.cut, std::vector<int>{1});
    time.deadlines.closed(1); // cut and then closed: it left the count once
    time.now += 1s;
    time.deadlines.opened(5);
    QCOMPARE(time.cut, (std::vector<int>{1, 3}));
    // The library reuses a closed socket's number at once.
    time.deadlines.closed(3);
    time.deadlines.opened(3);
    QCOMPARE(time.cut, (std::vector<int>{1, 3, 4}));
    QCOMPARE(time.deadlines.sweep(), 0);
}

void TestLanserveRequests::crowdedServerWaitsLess() {
    FakeTime time({.wait = 10s, .crowdedWait = 2s, .crowdedFrom = 2});
    time.deadlines.opened(1);
    time.deadlines.opened(2);
    time.now += 3s;
    QCOMPARE(time.deadlines.sweep(), 0);
    time.deadlines.opened(3); // now crowded: those that waited 3 s have waited too long
    QCOMPARE(time.deadlines.sweep(), 2);
    QCOMPARE(time.cut, (std::vector<int>{1, 2}));
    time.now += 3s; // alone again, the third has the full time
    QCOMPARE(time.deadlines.sweep(), 0);
    time.now += 7s;
    QCOMPARE(time.deadlines.sweep(), 1);
}

void TestLanserveRequests::sweepingThreadCutsOverdueConnections() {
    std::atomic<int> cutSocket{-1};
    {
        RequestDeadlines deadlines({50ms}, &std::chrono::steady_clock::now,
                                   [&](int socket) { cutSocket = socket; });
        deadlines.startSweeping(10ms);
        deadlines.opened(9);
        for (int wait = 0; wait < 200 && cutSocket != 9; ++wait)
            std::this_thread::sleep_for(10ms);
    } // and the thread stops with it
    QCOMPARE(cutSocket.load(), 9);
}

QTEST_GUILESS_MAIN(TestLanserveRequests)
#include "test_lanserve_requests.moc"

// Lanserve's connections over real sockets on 127.0.0.x: hostile clients (slow heads, many connections,
// from one address or many) do not keep another address from being served, a request head must arrive
// whole in time, odd requests get an answer, a refused request closes its connection, Range is ignored
// and the bare addresses lead to the pages.

#include "LanserveProcess.h"

#include "common/TestHome.h"
#include "store/Database.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <arpa/inet.h>
#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A plain TCP connection to the server from a chosen loopback address, so several "clients" with
// addresses of their own can run on one machine.
class Client {
public:
    Client(int port, const char* source) : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, source, &local.sin_addr);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
        connected_ = socket_ >= 0 &&
                     ::bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                     ::connect(socket_, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
    }
    ~Client() {
        if (socket_ >= 0)
            ::close(socket_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return connected_; }

    bool send(const QByteArray& bytes) {
        return ::send(socket_, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) ==
               bytes.size();
    }

    // The next bytes that arrive within `wait` (empty when none do or the server closes the connection).
    QByteArray read(std::chrono::milliseconds wait) {
        pollfd ready{socket_, POLLIN, 0};
        if (closed_ || ::poll(&ready, 1, static_cast<int>(wait.count())) <= 0)
            return {};
        char buffer[16384];
        const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed_ = true;
            return {};
        }
        return QByteArray(buffer, n);
    }

    // Reads one whole answer (head and a body of its Content-Length), bounded by `wait`.
    RawReply readAnswer(std::chrono::milliseconds wait = 5s) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < wait.count() && !closed_) {
            const qsizetype headEnd = pending_.indexOf("\r\n\r\n");
            if (headEnd >= 0) {
                const qsizetype length = contentLength(pending_.left(headEnd));
                if (pending_.size() >= headEnd + 4 + length)
                    break;
            }
            pending_ += read(std::chrono::milliseconds(wait.count() - clock.elapsed()));
        }
        RawReply reply;
        const qsizetype headEnd = pending_.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return reply;
        reply.headers = pending_.left(headEnd);
        const qsizetype length = contentLength(reply.headers);
        reply.body = pending_.mid(headEnd + 4, length);
        pending_.remove(0, headEnd + 4 + reply.body.size());
        reply.status = reply.headers.mid(9, 3).toInt();
        return reply;
    }

    // False once the server has closed the connection (whatever it sent is dropped).
    bool open() {
        read(std::chrono::milliseconds(0));
        return connected_ && !closed_;
    }

    // True when the server closes the connection within `wait` (whatever it sends first is dropped).
    bool closedWithin(std::chrono::milliseconds wait) {
        QElapsedTimer clock;
        clock.start();
        while (!closed_ && clock.elapsed() < wait.count())
            read(std::chrono::milliseconds(wait.count() - clock.elapsed()));
        return closed_;
    }

private:
    static qsizetype contentLength(const QByteArray& head) {
        RawReply reply;
        reply.headers = head;
        return HeaderValue(reply, "Content-Length").toLongLong();
    }

    int socket_;
    bool connected_ = false;
    bool closed_ = false;
    QByteArray pending_;
};

QByteArray pageRequest(const QByteArray& target, const QByteArray& cookie, bool close = false) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
           (cookie.isEmpty() ? QByteArray() : "Cookie: " + cookie + "\r\n") +
           (close ? "Connection: close\r\n" : "") + "\r\n";
}

// A body in chunks of at most 1000 bytes, with the last chunk.
QByteArray chunked(const QByteArray& body) {
    QByteArray coded;
    for (qsizetype at = 0; at < body.size(); at += 1000) {
        const QByteArray piece = body.mid(at, 1000);
        coded += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    return coded + "0\r\n\r\n";
}

} // namespace

class TestLanserveConnections : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void keepAliveServesSeveralRequests();
    void slowClientsDoNotStarveOthers();
    void connectionsPerAddressAreCapped();
    void crowdsFromManyAddressesMakeRoom();
    void manyQueryFieldsAreRead_data();
    void manyQueryFieldsAreRead();
    void requestHeadHasOneDeadline();
    void refusalClosesConnection_data();
    void refusalClosesConnection();
    void rangeIsIgnored();
    void entryAddressesLeadToTheList_data();
    void entryAddressesLeadToTheList();
    void helpAndWrongArguments();

private:
    int port() const { return server_->port(); }
    // list.asp as signed-in staff from `source`, on a connection of its own; the milliseconds it took.
    qint64 timedList(const char* source, int* status);

    std::unique_ptr<TestHome> home_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<LanserveProcess> server_;
    QByteArray staff_;
};

void TestLanserveConnections::initTestCase() {
    home_ = std::make_unique<TestHome>();
    const QString folder = home_->path(QStringLiteral("data"));
    db_ = PrepareDataFolder(folder);
    server_ = std::make_unique<LanserveProcess>(folder);
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    staff_ = SignIn(port());
    QVERIFY(!staff_.isEmpty());
}

qint64 TestLanserveConnections::timedList(const char* source, int* status) {
    QElapsedTimer clock;
    clock.start();
    Client client(port(), source);
    *status = client.connected() && client.send(pageRequest("/phone/list.asp", staff_, true))
                  ? client.readAnswer().status
                  : 0;
    return clock.elapsed();
}

void TestLanserveConnections::keepAliveServesSeveralRequests() {
    Client client(port(), "127.0.0.1");
    QVERIFY(client.connected());
    for (int i = 0; i < 3; ++i) {
        QVERIFY(client.send(pageRequest("/phone/list.asp", staff_)));
        QCOMPARE(client.readAnswer().status, 200);
    }
    QVERIFY(!client.closedWithin(200ms));
}

void TestLanserveConnections::slowClientsDoNotStarveOthers() {
    // 80 connections from 127.0.0.2: half send nothing, half an unfinished request head.
    std::vector<std::unique_ptr<Client>> attackers;
    for (int i = 0; i < 80; ++i) {
        attackers.push_back(std::make_unique<Client>(port(), "127.0.0.2"));
        if (i % 2 == 1)
            attackers.back()->send("GET /phone/list.asp HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    }
    for (int i = 0; i < 5; ++i) {
        int status = 0;
        const qint64 elapsed = timedList("127.0.0.1", &status);
        QCOMPARE(status, 200);
        QVERIFY2(elapsed < 1000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
        for (std::size_t a = 1; a < attackers.size(); a += 2)
            attackers[a]->send("X-Slow: 1\r\n");
    }
}

void TestLanserveConnections::connectionsPerAddressAreCapped() {
    // Sixteen open keep-alive connections from 127.0.0.3, each known to be served.
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < 16; ++i) {
        held.push_back(std::make_unique<Client>(port(), "127.0.0.3"));
        QVERIFY(held.back()->send(pageRequest("/favicon.ico", {})));
        QCOMPARE(held.back()->readAnswer().status, 204);
    }
    Client seventeenth(port(), "127.0.0.3");
    seventeenth.send(pageRequest("/phone/list.asp", staff_));
    QVERIFY(seventeenth.closedWithin(3s));
    int status = 0;
    timedList("127.0.0.4", &status);
    QCOMPARE(status, 200);

    // Closing one makes room for another from the same address.
    held.pop_back();
    bool served = false;
    for (int attempt = 0; attempt < 20 && !served; ++attempt) {
        Client next(port(), "127.0.0.3");
        served = next.send(pageRequest("/phone/list.asp", staff_, true)) && next.readAnswer(1s).status == 200;
        if (!served)
            QTest::qWait(100);
    }
    QVERIFY(served);
}

void TestLanserveConnections::crowdsFromManyAddressesMakeRoom() {
    // A server that takes 40 connections in all; 12 addresses hold 6 each that never finish their request
    // head, and replace every one the server closes. A phone from another address is still answered.
    const QString folder = home_->path(QStringLiteral("crowded"));
    const std::unique_ptr<Database> db = PrepareDataFolder(folder);
    LanserveProcess server(folder, {QStringLiteral("--max-connections"), QStringLiteral("40")});
    QVERIFY2(server.start(), qPrintable(server.error()));
    const QByteArray staff = SignIn(server.port());
    QVERIFY(!staff.isEmpty());
    std::vector<std::unique_ptr<Client>> crowd(72);
    for (int round = 0; round < 5; ++round) {
        for (std::size_t i = 0; i < crowd.size(); ++i) {
            if (crowd[i] && crowd[i]->open())
                continue;
            const QByteArray address = "127.0.0." + QByteArray::number(10 + i % 12);
            crowd[i] = std::make_unique<Client>(server.port(), address.constData());
            crowd[i]->send("GET /phone/list.asp HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        }
        Client phone(server.port(), "127.0.0.99");
        QVERIFY(phone.send(pageRequest("/phone/list.asp", staff, true)));
        // Well within the 10 s a head may take: the phone did not wait for the crowd to time out.
        QCOMPARE(phone.readAnswer(5s).status, 200);
    }
}

void TestLanserveConnections::manyQueryFieldsAreRead_data() {
    QTest::addColumn<QByteArray>("query");
    QByteArray named;
    for (int i = 0; i < 500; ++i)
        named += "&f" + QByteArray::number(i) + '=' + QByteArray::number(i);
    QTest::newRow("500 fields") << named.mid(1);
    QTest::newRow("3500 bare fields") << QByteArray("a&").repeated(3500);
}

void TestLanserveConnections::manyQueryFieldsAreRead() {
    QFETCH(QByteArray, query);
    const RawReply reply = Get(port(), "/phone/list.asp?" + query, staff_);
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.body.contains("选择餐桌"));
}

void TestLanserveConnections::requestHeadHasOneDeadline() {
    // A header line every 3 s keeps a per-read timeout happy forever; the whole head still has 10 s.
    Client trickler(port(), "127.0.0.5");
    QVERIFY(trickler.send("GET /phone/list.asp HTTP/1.1\r\n"));
    QElapsedTimer clock;
    clock.start();
    bool cut = false;
    for (int line = 0; line < 7 && !cut; ++line) {
        cut = trickler.closedWithin(3s);
        if (!cut)
            trickler.send("X-Line: " + QByteArray::number(line) + "\r\n");
        if (clock.elapsed() < 7000)
            QVERIFY2(!cut, "cut off long before the deadline");
    }
    QVERIFY2(cut, qPrintable(QStringLiteral("still open after %1 ms").arg(clock.elapsed())));
    QVERIFY2(clock.elapsed() < 14000, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
}

void TestLanserveConnections::refusalClosesConnection_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("pageAnswer"); // false: the server library refuses it before any page sees it
    const QByteArray head = "HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    QTest::newRow("400 malformed header") << "GET /phone/list.asp " + head + "no colon here\r\n\r\n"
                                          << 400 << false;
    QTest::newRow("400 page") << "GET /phone/menu.asp?t=0&c=0&s=" + QByteArray(60, 'x') + ' ' + head +
                                     "Cookie: @\r\n\r\n"
                              << 400 << true;
    QTest::newRow("404") << "GET /phone/nothing.asp " + head + "\r\n" << 404 << true;
    const QByteArray form = "t=0&remark=" + QByteArray(9000, 'x');
    const QByteArray formHead =
        "POST /phone/save.asp " + head + "Content-Type: application/x-www-form-urlencoded\r\n";
    QTest::newRow("413") << formHead + "Content-Length: " + QByteArray::number(form.size()) + "\r\n\r\n" +
                                form
                         << 413 << true;
    QTest::newRow("413 chunked") << formHead + "Transfer-Encoding: chunked\r\n\r\n" + chunked(form) << 413
                                 << true;
    const QByteArray shortBody = chunked("t=0");
    QTest::newRow("400 chunked not last")
        << formHead + "Transfer-Encoding: chunked, identity\r\n\r\n" + shortBody << 400 << true;
    QTest::newRow("400 unknown coding alone")
        << formHead + "Transfer-Encoding: gzip\r\n\r\n" + shortBody << 400 << true;
    QTest::newRow("501 unknown coding")
        << formHead + "Transfer-Encoding: gzip, chunked\r\n\r\n" + shortBody << 501 << true;
    QTest::newRow("400 length and coding")
        << formHead + "Transfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n" + shortBody << 400 << true;
    QTest::newRow("414") << "GET /phone/menu.asp?s=" + QByteArray(10000, 'x') + ' ' + head + "\r\n"
                         << 414 << true;
}

void TestLanserveConnections::refusalClosesConnection() {
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(bool, pageAnswer);
    request.replace("Cookie: @", "Cookie: " + staff_);
    for (const bool askToClose : {false, true}) {
        Client client(port(), "127.0.0.1");
        QVERIFY(client.connected());
        const QByteArray sent = askToClose
                                    ? QByteArray(request).replace("Host: 127.0.0.1\r\n",
                                                                  "Host: 127.0.0.1\r\nConnection: close\r\n")
                                    : request;
        // A second request right behind the refused one is never answered.
        QVERIFY(client.send(sent + pageRequest("/phone/list.asp", staff_)));
        const RawReply reply = client.readAnswer();
        QCOMPARE(reply.status, status);
        QVERIFY(!HeaderValue(reply, "Content-Length").isEmpty());
        if (pageAnswer)
            QVERIFY(reply.body.contains("id=\"message\""));
        QVERIFY2(client.closedWithin(2s), "the connection stayed open");
    }
}

void TestLanserveConnections::rangeIsIgnored() {
    const RawReply whole = Get(port(), "/phone/list.asp", staff_);
    QCOMPARE(whole.status, 200);
    const RawReply ranged = SendRaw(
        port(), "GET /phone/list.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nCookie: " + staff_ +
                    "\r\nRange: bytes=0-9\r\n\r\n");
    QCOMPARE(ranged.status, 200);
    QCOMPARE(ranged.body, whole.body);
    QVERIFY(HeaderValue(ranged, "Content-Range").isEmpty());
}

void TestLanserveConnections::entryAddressesLeadToTheList_data() {
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("root") << QByteArray("/");
    QTest::newRow("phone") << QByteArray("/phone");
    QTest::newRow("phone folder") << QByteArray("/phone/");
}

void TestLanserveConnections::entryAddressesLeadToTheList() {
    QFETCH(QByteArray, target);
    const RawReply reply = Get(port(), target);
    QVERIFY2(reply.status == 302 || reply.status == 303 || reply.status == 301, qPrintable(reply.headers));
    QCOMPARE(HeaderValue(reply, "Location"), QStringLiteral("/phone/list.asp"));
    // A phone that is not signed in is shown the sign-in page, which sends guests to their table's code.
    const RawReply page = Get(port(), HeaderValue(reply, "Location").toLatin1());
    QVERIFY(page.body.contains("二维码"));
    QVERIFY(page.body.contains("name=\"password\""));
}

void TestLanserveConnections::helpAndWrongArguments() {
    QProcess help;
    help.start(LanserveProcess::programPath(), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(5000));
    QCOMPARE(help.exitCode(), 0);
    const QString usage = QString::fromUtf8(help.readAllStandardOutput());
    QVERIFY2(usage.startsWith(QStringLiteral("用法：Lanserve")) && usage.contains(QStringLiteral("--port")),
             qPrintable(usage));

    QProcess wrong;
    wrong.start(LanserveProcess::programPath(), {QStringLiteral("--nonsense")});
    QVERIFY(wrong.waitForFinished(5000));
    QCOMPARE(wrong.exitCode(), 64);
    QVERIFY(
        QString::fromUtf8(wrong.readAllStandardError()).contains(QStringLiteral("不认识的参数 --nonsense")));
}

QTEST_GUILESS_MAIN(TestLanserveConnections)
#include "test_lanserve_connections.moc"

// Lanserve over HTTP on loopback addresses: the staff sign-in against guessing from many addresses, the
// phones that signed in before kept out of it across restarts, what guessing may write to the log, sessions
// ended by a password change or by signing out, and the modes of the files the server keeps.

#include "LanserveProcess.h"

#include "common/TestHome.h"
#include "lanserve/StaffSessions.h"
#include "settings/Password.h"
#include "store/Database.h"
#include "store/PasswordHash.h"
#include "store/Schema.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// One request from a chosen loopback address (127.0.0.x), with the connection closed after the answer;
// the status of the reply, 0 when none came.
int statusFrom(const char* source, int port, const QByteArray& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    const timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<quint16>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    int status = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        ::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) ==
            request.size()) {
        char head[64] = {};
        const ssize_t got = ::recv(fd, head, sizeof head - 1, 0);
        if (got > 12)
            status = QByteArray(head + 9, 3).toInt();
    }
    ::close(fd);
    return status;
}

QByteArray signInRequest(const QString& password) {
    const QByteArray body = FormBody({{"password", password}, {"next", "list.asp"}});
    return "POST /phone/list.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Four wrong passwords from each of five addresses: none is locked on its own, and together they reach
// the alarm level.
void guessFromFiveAddresses(int port) {
    for (int address = 2; address < 7; ++address) {
        const QByteArray source = "127.0.0." + QByteArray::number(address);
        for (int i = 0; i < StaffSessions::kMaxWrongTries - 1; ++i)
            QCOMPARE(statusFrom(source.constData(), port, signInRequest(QStringLiteral("000"))), 403);
    }
}

QStringList setCookies(const RawReply& reply) {
    QStringList cookies;
    for (const QByteArray& line : reply.headers.split('\n'))
        if (line.toLower().startsWith("set-cookie:"))
            cookies.append(QString::fromUtf8(line.mid(11).trimmed()));
    return cookies;
}

QFileDevice::Permissions ownerOnly(bool folder) {
    return QFileDevice::ReadOwner | QFileDevice::WriteOwner |
           (folder ? QFileDevice::ExeOwner : QFileDevice::Permissions()) | QFileDevice::ReadUser |
           QFileDevice::WriteUser | (folder ? QFileDevice::ExeUser : QFileDevice::Permissions());
}

// A data folder with a server of its own, so each case starts with no wrong tries counted.
struct Served {
    TestHome home;
    QString folder = home.path(QStringLiteral("data"));
    std::unique_ptr<Database> db = PrepareDataFolder(folder);
    LanserveProcess server{folder};
    QString log() const { return folder + QStringLiteral("/cjpos.log"); }
};

} // namespace

class TestStaffGuard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wrongPasswordsFromManyAddressesSlowEverySignIn();
    void aPhoneThatSignedInBeforeIsNotKeptOutByGuessing();
    void fiftyThousandWrongSignInsWriteAFewLinesOfLog();
    void aPasswordChangeEndsLiveSessions();
    void eachAccountSignsInWithItsOwnPassword();
    void signingOutEndsTheSession();
    void theServerKeepsItsFilesPrivate();
};

void TestStaffGuard::wrongPasswordsFromManyAddressesSlowEverySignIn() {
    Served served;
    QVERIFY2(served.server.start(), qPrintable(served.server.error()));
    const int port = served.server.port();
    // Four wrong tries from each of five addresses: none of them is locked on its own.
    for (int address = 2; address < 7; ++address) {
        const QByteArray source = "127.0.0." + QByteArray::number(address);
        for (int i = 0; i < StaffSessions::kMaxWrongTries - 1; ++i)
            QCOMPARE(statusFrom(source.constData(), port, signInRequest(QStringLiteral("000"))), 403);
    }
    // Now even the right password from a fresh address waits.
    QCOMPARE(statusFrom("127.0.0.9", port, signInRequest(QStringLiteral("739"))), 429);
    const RawReply refused = PostForm(port, "/phone/list.asp", {{"password", "739"}, {"next", "list.asp"}});
    QCOMPARE(refused.status, 429);
    QVERIFY(refused.body.contains(QStringLiteral("秒后再试").toUtf8()));
    // The counter is told through the alarm file, and the log says it once.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(served.folder + QStringLiteral("/Lanserve.alert")), 5000);
    QFile log(served.log());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(log.readAll()).count(QStringLiteral("多次密码错误")), 1);
}

void TestStaffGuard::aPhoneThatSignedInBeforeIsNotKeptOutByGuessing() {
    Served served;
    QVERIFY2(served.server.start(), qPrintable(served.server.error()));
    const RawReply first =
        PostForm(served.server.port(), "/phone/list.asp", {{"password", "739"}, {"next", "list.asp"}});
    QCOMPARE(first.status, 303);
    const QStringList cookies = setCookies(first);
    QCOMPARE(cookies.size(), 2);
    QVERIFY(cookies.at(0).startsWith(QLatin1String("cjstaff=")));
    const QString device = cookies.at(1);
    QVERIFY2(
        QRegularExpression(QStringLiteral("^cjdevice=[0-9a-f]{32}; Max-Age=31536000; Path=/phone/; HttpOnly; "
                                          "SameSite=Strict$"))
            .match(device)
            .hasMatch(),
        qPrintable(device));
    const QByteArray known = device.section(QLatin1Char(';'), 0, 0).toLatin1();
    // The same guessing before and after a restart of the server.
    for (int run = 0; run < 2; ++run) {
        const int port = served.server.port();
        guessFromFiveAddresses(port);
        QCOMPARE(statusFrom("127.0.0.9", port, signInRequest(QStringLiteral("739"))), 429);
        const RawReply signedIn =
            PostForm(port, "/phone/list.asp", {{"password", "739"}, {"next", "list.asp"}}, known);
        QCOMPARE(signedIn.status, 303);
        QCOMPARE(setCookies(signedIn).value(1), device); // the phone keeps its cookie
        const QByteArray session = setCookies(signedIn).value(0).section(QLatin1Char(';'), 0, 0).toLatin1();
        QCOMPARE(Get(port, "/phone/list.asp", session).status, 200);
        served.server.terminate();
        QVERIFY(served.server.process().waitForFinished(5000));
        QVERIFY2(served.server.start(), qPrintable(served.server.error()));
    }
    // A made-up device cookie is just an unknown phone.
    QCOMPARE(PostForm(served.server.port(), "/phone/list.asp", {{"password", "739"}},
                      "cjdevice=0123456789abcdef0123456789abcdef")
                 .status,
             429);
}

void TestStaffGuard::fiftyThousandWrongSignInsWriteAFewLinesOfLog() {
    Served served;
    QVERIFY2(served.server.start(), qPrintable(served.server.error()));
    const int port = served.server.port();
    const qint64 logBefore = QFileInfo(served.log()).size();
    const QByteArray wrong = signInRequest(QStringLiteral("000"));
    const char* sources[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
    int answered = 0;
    for (int i = 0; i < 50000; ++i) {
        const int status = statusFrom(sources[i % 4], port, wrong);
        QVERIFY2(status == 403 || status == 429, qPrintable(QString::number(status)));
        ++answered;
    }
    QCOMPARE(answered, 50000);
    const qint64 written = QFileInfo(served.log()).size() - logBefore;
    QVERIFY2(written < 4096, qPrintable(QString::number(written)));
}

void TestStaffGuard::aPasswordChangeEndsLiveSessions() {
    Served served;
    QVERIFY2(served.server.start(), qPrintable(served.server.error()));
    const int port = served.server.port();
    const QByteArray staff = SignIn(port);
    QVERIFY(!staff.isEmpty());
    QCOMPARE(Get(port, "/phone/list.asp", staff).status, 200);

    QCOMPARE(ChangePassword(*served.db, kFirstStaffId, QStringLiteral("739"), QStringLiteral("5678")),
             PasswordChange::Changed);
    const RawReply after = Get(port, "/phone/list.asp", staff);
    QCOMPARE(after.status, 403);
    QVERIFY(after.body.contains("name=\"password\""));
    // Changing it back does not bring the old session back; the new password signs in.
    QCOMPARE(ChangePassword(*served.db, kFirstStaffId, QStringLiteral("5678"), QStringLiteral("739")),
             PasswordChange::Changed);
    QCOMPARE(Get(port, "/phone/list.asp", staff).status, 403);
    const QByteArray again = SignIn(port);
    QCOMPARE(Get(port, "/phone/list.asp", again).status, 200);
}

// The form's 工号 picks the account (none: 001, as phones from before the staff accounts send); a
// password change or a disabled account ends that account's sessions only.
void TestStaffGuard::eachAccountSignsInWithItsOwnPassword() {
    Served served;
    Statement(*served.db, "INSERT INTO \"员工\" (\"工号\", \"姓名\", \"角色\", \"密码散列\", \"启用\") "
                          "VALUES ('007', '小王', '服务员', ?, '1')")
        .bind(1, HashPassword(QStringLiteral("Wang7")))
        .run();
    QVERIFY2(served.server.start(), qPrintable(served.server.error()));
    const int port = served.server.port();
    const auto signIn = [port](const char* staff, const char* password) {
        const RawReply reply = PostForm(port, "/phone/list.asp",
                                        {{"staff", staff}, {"password", password}, {"next", "list.asp"}});
        return reply.status == 303
                   ? HeaderValue(reply, "Set-Cookie").section(QLatin1Char(';'), 0, 0).toLatin1()
                   : QByteArray();
    };
    QVERIFY(signIn("007", "739").isEmpty());
    QVERIFY(signIn("001", "wang7").isEmpty());
    const QByteArray waiter = signIn("007", " wang7 ");
    const QByteArray owner = SignIn(port); // no 工号 field
    QVERIFY(!waiter.isEmpty() && !owner.isEmpty());
    QCOMPARE(Get(port, "/phone/list.asp", waiter).status, 200);

    QCOMPARE(ChangePassword(*served.db, QStringLiteral("007"), QStringLiteral("WANG7"), QStringLiteral("8")),
             PasswordChange::Changed);
    QCOMPARE(Get(port, "/phone/list.asp", waiter).status, 403);
    QCOMPARE(Get(port, "/phone/list.asp", owner).status, 200);
    const QByteArray again = signIn("007", "8");
    QCOMPARE(Get(port, "/phone/list.asp", again).status, 200);
    Statement(*served.db, "UPDATE \"员工\" SET \"启用\" = '0' WHERE \"工号\" = '007'").run();
    QCOMPARE(Get(port, "/phone/list.asp", again).status, 403);
    QVERIFY(signIn("007", "8").isEmpty());
    QCOMPARE(Get(port, "/phone/list.asp", owner).status, 200);
}

void TestStaffGuard::signingOutEndsTheSession() {
    Served served;
    QVERIFY2(served.server.start(), qPrintable(served.server.error()));
    const int port = served.server.port();
    const QByteArray staff = SignIn(port);
    const RawReply list = Get(port, "/phone/list.asp", staff);
    QVERIFY(list.body.contains(QStringLiteral("退出登录").toUtf8()));
    const RawReply out = PostForm(port, "/phone/list.asp", {{"signout", "1"}}, staff);
    QCOMPARE(out.status, 200);
    QVERIFY(HeaderValue(out, "Set-Cookie").contains(QLatin1String("Max-Age=0")));
    QVERIFY(out.body.contains(QStringLiteral("已退出登录").toUtf8()));
    QCOMPARE(Get(port, "/phone/list.asp", staff).status, 403);
}

void TestStaffGuard::theServerKeepsItsFilesPrivate() {
    Served served;
    // A folder left readable by an older version is tightened when the server starts.
    QFile::setPermissions(served.folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                             QFileDevice::ExeOther);
    const QString database = served.folder + QStringLiteral("/数据库.dat");
    QFile::setPermissions(database,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    QVERIFY2(served.server.start(), qPrintable(served.server.error()));
    QCOMPARE(statusFrom("127.0.0.2", served.server.port(), signInRequest(QStringLiteral("000"))), 403);
    QCOMPARE(QFileInfo(served.folder).permissions(), ownerOnly(true));
    if (!TestsOnServer()) // on a database server there is no database file in the folder
        QCOMPARE(QFileInfo(database).permissions(), ownerOnly(false));
    QCOMPARE(QFileInfo(served.folder + QStringLiteral("/Lanserve.pid")).permissions() &
                 QFileDevice::ReadOther,
             QFileDevice::Permissions());
}

QTEST_GUILESS_MAIN(TestStaffGuard)
#include "test_staff_guard.moc"

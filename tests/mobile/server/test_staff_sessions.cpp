// Staff sessions over a clock the test moves, table tokens, and the schema step that adds them.

#include "common/TestHome.h"
#include "mobile/TableTokens.h"
#include "mobile/server/StaffSessions.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <QSet>
#include <QTest>

using namespace std::chrono_literals;

class TestStaffSessions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sessionLapsesAfterIdleTime();
    void lockLastsOneMinute();
    void sessionsAreBounded();
    void tokensAreRandomAndPerKey();
    void versionOneFileGetsTokenTable();
};

namespace {

struct FakeClock {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
    StaffSessions::Clock clock() {
        return [this] { return now; };
    }
};

} // namespace

void TestStaffSessions::sessionLapsesAfterIdleTime() {
    FakeClock time;
    StaffSessions sessions(time.clock());
    const StaffSessions::SignIn signIn = sessions.signIn(QStringLiteral("10.0.0.5"), true);
    QCOMPARE(signIn.outcome, StaffSessions::Outcome::Accepted);
    QVERIFY(TableTokens::LooksLikeToken(signIn.session));
    // Each use starts the idle time again: 11 hours apart, three times, still signed in.
    for (int i = 0; i < 3; ++i) {
        time.now += 11h;
        QVERIFY(sessions.check(signIn.session));
    }
    time.now += 12h;
    QVERIFY(!sessions.check(signIn.session));
    time.now -= 1h; // once lapsed, it stays gone
    QVERIFY(!sessions.check(signIn.session));
    QVERIFY(!sessions.check(QString()));
    QVERIFY(!sessions.check(QStringLiteral("0123456789abcdef0123456789abcdef")));

    const QString other = sessions.signIn(QStringLiteral("10.0.0.6"), true).session;
    QVERIFY(other != signIn.session);
    sessions.signOut(other);
    QVERIFY(!sessions.check(other));
}

void TestStaffSessions::lockLastsOneMinute() {
    FakeClock time;
    StaffSessions sessions(time.clock());
    const QString phone = QStringLiteral("10.0.0.7");
    for (int i = 1; i < StaffSessions::kMaxWrongTries; ++i)
        QCOMPARE(sessions.signIn(phone, false).outcome, StaffSessions::Outcome::WrongPassword);
    QCOMPARE(sessions.signIn(phone, false).outcome, StaffSessions::Outcome::Locked);
    // Another address is not locked.
    QCOMPARE(sessions.signIn(QStringLiteral("10.0.0.8"), true).outcome, StaffSessions::Outcome::Accepted);
    time.now += 59s;
    QCOMPARE(sessions.signIn(phone, true).outcome, StaffSessions::Outcome::Locked);
    time.now += 1s;
    QCOMPARE(sessions.signIn(phone, true).outcome, StaffSessions::Outcome::Accepted);
    // After a lock the count starts again from nothing.
    for (int i = 1; i < StaffSessions::kMaxWrongTries; ++i)
        QCOMPARE(sessions.signIn(phone, false).outcome, StaffSessions::Outcome::WrongPassword);
    QCOMPARE(sessions.signIn(phone, true).outcome, StaffSessions::Outcome::Accepted);
    for (int i = 1; i < StaffSessions::kMaxWrongTries; ++i)
        QCOMPARE(sessions.signIn(phone, false).outcome, StaffSessions::Outcome::WrongPassword);
}

void TestStaffSessions::sessionsAreBounded() {
    FakeClock time;
    StaffSessions sessions(time.clock());
    const QString first = sessions.signIn(QStringLiteral("10.0.0.9"), true).session;
    time.now += 1s;
    QString last;
    for (int i = 0; i < StaffSessions::kMaxSessions; ++i)
        last = sessions.signIn(QStringLiteral("10.0.0.9"), true).session;
    QVERIFY(!sessions.check(first)); // the one unused longest made room
    QVERIFY(sessions.check(last));
}

void TestStaffSessions::tokensAreRandomAndPerKey() {
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        const QString token = TableTokens::NewToken();
        QVERIFY(TableTokens::LooksLikeToken(token));
        seen.insert(token);
    }
    QCOMPARE(seen.size(), 1000);
    QVERIFY(!TableTokens::LooksLikeToken(QStringLiteral("0123456789ABCDEF0123456789abcdef")));
    QVERIFY(!TableTokens::LooksLikeToken(QStringLiteral("12")));
    QCOMPARE(TableTokens::GuestAddress(QStringLiteral("192.168.1.20"), QStringLiteral("ab")),
             QStringLiteral("http://192.168.1.20:8212/phone/menu.asp?t=ab"));

    TestHome home;
    auto db = home.createDatabase();
    const QStringList keys = SettingsStore(*db).tableKeys();
    const QHash<QString, QString> tokens = TableTokens::EnsureTokens(*db, keys);
    QCOMPARE(tokens.size(), keys.size());
    QCOMPARE(TableTokens::EnsureTokens(*db, keys), tokens);
    for (const QString& key : keys)
        QCOMPARE(TableTokens::KeyForToken(*db, tokens.value(key)).value_or(QString()), key);
}

void TestStaffSessions::versionOneFileGetsTokenTable() {
    TestHome home;
    auto db = home.createDatabase();
    QCOMPARE(db->userVersion(), kSchemaVersion);
    db->exec("DROP TABLE \"桌台令牌\"");
    db->exec("PRAGMA user_version = 1");
    MigrateSchema(*db);
    QCOMPARE(db->userVersion(), kSchemaVersion);
    const QStringList keys = SettingsStore(*db).tableKeys();
    QCOMPARE(TableTokens::EnsureTokens(*db, keys).size(), keys.size());
    MigrateSchema(*db); // a second start changes nothing
    QCOMPARE(TableTokens::EnsureTokens(*db, keys).size(), keys.size());
}

QTEST_GUILESS_MAIN(TestStaffSessions)
#include "test_staff_sessions.moc"

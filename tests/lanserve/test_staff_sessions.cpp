// Staff sessions over a clock the test moves, the guard against guessing (known phones, the unknown ones'
// yearly allowance, kept across restarts), the counter's alarm, table tokens, and the schema step that adds
// them.

#include "common/TestHome.h"
#include "lanserve/StaffSessions.h"
#include "mobile/PhoneAlarm.h"
#include "mobile/TableTokens.h"
#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

using namespace std::chrono_literals;

class TestStaffSessions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sessionLapsesAfterIdleTime();
    void sessionEndsAfterAWorkingDayHoweverOftenUsed();
    void aNewPasswordEndsEverySessionOfTheOldOne();
    void wrongPasswordsFromEverywhereMakeSignInsWaitLongerEachTime();
    void lockLastsOneMinute();
    void aKnownPhoneSignsInWhileGuessingGoesOn();
    void unknownPhonesGuessFewerThanTwoHundredTimesAYear();
    void eachAccountIsGuardedOnItsOwn();
    void theAcknowledgedAlarmReturnsOnlyForNewWrongPasswords();
    void sessionsAreBounded();
    void tokensAreRandomAndPerKey();
    void versionOneFileGetsTokenTable();
};

namespace {

const QString kStamp = PasswordStamp(QStringLiteral("739"));

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
    const StaffSessions::SignIn signIn = sessions.signIn(QStringLiteral("10.0.0.5"), true, kStamp);
    QCOMPARE(signIn.outcome, StaffSessions::Outcome::Accepted);
    QVERIFY(TableTokens::LooksLikeToken(signIn.session));
    // Each use starts the idle time again: 5 hours apart, three times, still signed in; then 12 hours
    // without use end it.
    for (int i = 0; i < 3; ++i) {
        time.now += 5h;
        QVERIFY(sessions.check(signIn.session, kStamp));
    }
    time.now += 12h;
    QVERIFY(!sessions.check(signIn.session, kStamp));
    time.now -= 1h; // once lapsed, it stays gone
    QVERIFY(!sessions.check(signIn.session, kStamp));
    QVERIFY(!sessions.check(QString(), kStamp));
    QVERIFY(!sessions.check(QStringLiteral("0123456789abcdef0123456789abcdef"), kStamp));

    const QString other = sessions.signIn(QStringLiteral("10.0.0.6"), true, kStamp).session;
    QVERIFY(other != signIn.session);
    sessions.signOut(other);
    QVERIFY(!sessions.check(other, kStamp));
}

void TestStaffSessions::sessionEndsAfterAWorkingDayHoweverOftenUsed() {
    FakeClock time;
    StaffSessions sessions(time.clock());
    const QString session = sessions.signIn(QStringLiteral("10.0.0.5"), true, kStamp).session;
    for (int hour = 1; hour < 16; ++hour) {
        time.now += 1h;
        QVERIFY2(sessions.check(session, kStamp), qPrintable(QString::number(hour)));
    }
    time.now += 1h;
    QVERIFY(!sessions.check(session, kStamp));
}

void TestStaffSessions::aNewPasswordEndsEverySessionOfTheOldOne() {
    FakeClock time;
    StaffSessions sessions(time.clock());
    const QString first = sessions.signIn(QStringLiteral("10.0.0.5"), true, kStamp).session;
    const QString second = sessions.signIn(QStringLiteral("10.0.0.6"), true, kStamp).session;
    const QString changed = PasswordStamp(QStringLiteral("new-secret"));
    QVERIFY(changed != kStamp);
    QVERIFY(!sessions.check(first, changed));
    // Also the session that has not asked yet, and changing the password back does not revive them.
    QVERIFY(!sessions.check(second, kStamp));
    const QString fresh = sessions.signIn(QStringLiteral("10.0.0.5"), true, changed).session;
    QVERIFY(sessions.check(fresh, changed));
}

void TestStaffSessions::wrongPasswordsFromEverywhereMakeSignInsWaitLongerEachTime() {
    FakeClock time;
    StaffSessions sessions(time.clock());
    // Four wrong tries each from five addresses: no address is locked, yet the alarm goes up on the 20th.
    int alarms = 0;
    for (int address = 0; address < 5; ++address) {
        for (int i = 0; i < StaffSessions::kMaxWrongTries - 1; ++i) {
            const StaffSessions::SignIn result =
                sessions.signIn(QStringLiteral("10.0.1.%1").arg(address), false, kStamp);
            alarms += result.alarmStarted ? 1 : 0;
            QVERIFY(result.outcome == StaffSessions::Outcome::WrongPassword);
        }
    }
    QCOMPARE(alarms, 1);
    QVERIFY(sessions.alarmed());
    // Now every address waits, even with the right password, and the wait doubles with each wrong try.
    const QString staff = QStringLiteral("10.0.2.1");
    StaffSessions::SignIn waiting = sessions.signIn(staff, true, kStamp);
    QCOMPARE(waiting.outcome, StaffSessions::Outcome::Throttled);
    QCOMPARE(waiting.retryAfter, StaffSessions::kFirstDelay);
    time.now += StaffSessions::kFirstDelay;
    QCOMPARE(sessions.signIn(QStringLiteral("10.0.1.9"), false, kStamp).outcome,
             StaffSessions::Outcome::WrongPassword);
    waiting = sessions.signIn(staff, true, kStamp);
    QCOMPARE(waiting.outcome, StaffSessions::Outcome::Throttled);
    QCOMPARE(waiting.retryAfter, 2 * StaffSessions::kFirstDelay);
    time.now += waiting.retryAfter;
    QCOMPARE(sessions.signIn(staff, true, kStamp).outcome, StaffSessions::Outcome::Accepted);
    // Once the window has passed the alarm is over and sign-ins go through at once.
    time.now += StaffSessions::kAlarmWindow;
    QVERIFY(!sessions.alarmed());
    QCOMPARE(sessions.signIn(QStringLiteral("10.0.1.9"), false, kStamp).outcome,
             StaffSessions::Outcome::WrongPassword);
    QCOMPARE(sessions.signIn(staff, true, kStamp).outcome, StaffSessions::Outcome::Accepted);
}

void TestStaffSessions::lockLastsOneMinute() {
    FakeClock time;
    StaffSessions sessions(time.clock());
    const QString phone = QStringLiteral("10.0.0.7");
    for (int i = 1; i < StaffSessions::kMaxWrongTries; ++i)
        QCOMPARE(sessions.signIn(phone, false, kStamp).outcome, StaffSessions::Outcome::WrongPassword);
    const StaffSessions::SignIn locking = sessions.signIn(phone, false, kStamp);
    QCOMPARE(locking.outcome, StaffSessions::Outcome::Locked);
    QVERIFY(locking.lockStarted);
    // Tries while locked are refused without starting the lock again (one log line per lock).
    QVERIFY(!sessions.signIn(phone, false, kStamp).lockStarted);
    // Another address is not locked.
    QCOMPARE(sessions.signIn(QStringLiteral("10.0.0.8"), true, kStamp).outcome,
             StaffSessions::Outcome::Accepted);
    time.now += 59s;
    QCOMPARE(sessions.signIn(phone, true, kStamp).outcome, StaffSessions::Outcome::Locked);
    time.now += 1s;
    QCOMPARE(sessions.signIn(phone, true, kStamp).outcome, StaffSessions::Outcome::Accepted);
    // After a lock the count starts again from nothing.
    for (int i = 1; i < StaffSessions::kMaxWrongTries; ++i)
        QCOMPARE(sessions.signIn(phone, false, kStamp).outcome, StaffSessions::Outcome::WrongPassword);
    QCOMPARE(sessions.signIn(phone, true, kStamp).outcome, StaffSessions::Outcome::Accepted);
    for (int i = 1; i < StaffSessions::kMaxWrongTries; ++i)
        QCOMPARE(sessions.signIn(phone, false, kStamp).outcome, StaffSessions::Outcome::WrongPassword);
}

// A wrong password every half second from ever new addresses for three hours: the waiter's phone that
// signed in before gets in at every try, a phone never seen before does not, and the guesses that were
// looked at stay within the unknown phones' allowance.
void TestStaffSessions::aKnownPhoneSignsInWhileGuessingGoesOn() {
    FakeClock time;
    StaffSessions sessions(time.clock());
    const StaffSessions::SignIn first = sessions.signIn(QStringLiteral("10.0.0.5"), true, kStamp);
    QVERIFY(TableTokens::LooksLikeToken(first.device));
    int looked = 0;
    for (int i = 0; i < 3 * 3600 * 2; ++i) {
        time.now += 500ms;
        const StaffSessions::SignIn guess =
            sessions.signIn(QStringLiteral("10.1.%1.%2").arg(i / 250).arg(i % 250), false, kStamp,
                            QStringLiteral("%1").arg(i, 32, 10, QChar(u'0')));
        looked += guess.outcome == StaffSessions::Outcome::WrongPassword || guess.lockStarted ? 1 : 0;
        if (i % 20 != 0)
            continue;
        const StaffSessions::SignIn waiter =
            sessions.signIn(QStringLiteral("10.0.0.5"), true, kStamp, first.device);
        QCOMPARE(waiter.outcome, StaffSessions::Outcome::Accepted);
        QCOMPARE(waiter.device, first.device);
        QVERIFY(sessions.check(waiter.session, kStamp));
    }
    QVERIFY2(looked <= DeviceGuard::kUnknownAllowance + 2, qPrintable(QString::number(looked)));
    const StaffSessions::SignIn stranger = sessions.signIn(QStringLiteral("10.0.0.6"), true, kStamp);
    QCOMPARE(stranger.outcome, StaffSessions::Outcome::Throttled);
    QVERIFY(stranger.retryAfter > 1h);

    // The known phone has a small allowance of its own: then it waits, even with the right password.
    for (int i = 1; i < DeviceGuard::kDeviceWrongTries; ++i)
        QCOMPARE(sessions.signIn(QStringLiteral("10.0.0.5"), false, kStamp, first.device).outcome,
                 StaffSessions::Outcome::WrongPassword);
    const StaffSessions::SignIn waits =
        sessions.signIn(QStringLiteral("10.0.0.5"), false, kStamp, first.device);
    QCOMPARE(waits.outcome, StaffSessions::Outcome::DeviceWaits);
    QCOMPARE(waits.retryAfter, std::chrono::seconds(DeviceGuard::kDeviceFirstWait));
    QCOMPARE(sessions.signIn(QStringLiteral("10.0.0.5"), true, kStamp, first.device).outcome,
             StaffSessions::Outcome::DeviceWaits);
    time.now += DeviceGuard::kDeviceFirstWait;
    QCOMPARE(sessions.signIn(QStringLiteral("10.0.0.5"), true, kStamp, first.device).outcome,
             StaffSessions::Outcome::Accepted);
}

// The best an attacker can do for a year: try whenever a try is allowed, from a new address each time,
// while the server restarts every night. What was looked at stays far below the thousand a three-digit
// password would take.
void TestStaffSessions::unknownPhonesGuessFewerThanTwoHundredTimesAYear() {
    TestHome home;
    const QString guardFile = home.path(QStringLiteral("Lanserve.guard"));
    FakeClock time;
    const auto start = time.now;
    auto sessions = std::make_unique<StaffSessions>(time.clock(), guardFile);
    auto nextRestart = start + 24h;
    int looked = 0;
    for (int i = 0; time.now < start + 365 * 24h; ++i) {
        if (time.now >= nextRestart) {
            sessions = std::make_unique<StaffSessions>(time.clock(), guardFile);
            nextRestart += 24h;
        }
        const StaffSessions::SignIn guess =
            sessions->signIn(QStringLiteral("10.2.%1.%2").arg(i / 250 % 250).arg(i % 250), false, kStamp);
        const bool wasLooked = guess.outcome == StaffSessions::Outcome::WrongPassword || guess.lockStarted;
        looked += wasLooked ? 1 : 0;
        time.now += wasLooked ? 1s : std::min<std::chrono::steady_clock::duration>(guess.retryAfter, 24h);
    }
    const int yearly = DeviceGuard::kUnknownAllowance +
                       static_cast<int>(365 * 24 / DeviceGuard::kAllowanceRefill.count()) + 2;
    QVERIFY2(looked <= yearly, qPrintable(QString::number(looked)));
    QVERIFY(yearly < 200);
}

// Guessing the 店长's password uses up the 店长's allowance only: a waiter still signs in from a new phone,
// a phone known to the waiter is a stranger to the 店长's account, and so it stays after a restart. A file
// written before there were other accounts keeps its allowance for the first account.
void TestStaffSessions::eachAccountIsGuardedOnItsOwn() {
    TestHome home;
    const QString guardFile = home.path(QStringLiteral("Lanserve.guard"));
    FakeClock time;
    const QString owner = QStringLiteral("001");
    const QString waiter = QStringLiteral("007");
    QString waitersPhone;
    {
        StaffSessions sessions(time.clock(), guardFile);
        waitersPhone = sessions.signIn(QStringLiteral("10.0.0.5"), true, kStamp, {}, waiter).device;
        // Spaced so that neither the alarm nor an address's lock comes into it.
        for (int i = 0; i <= DeviceGuard::kUnknownAllowance; ++i) {
            time.now += 31s;
            sessions.signIn(QStringLiteral("10.1.0.%1").arg(i), false, kStamp, {}, owner);
        }
        QCOMPARE(sessions.signIn(QStringLiteral("10.0.0.9"), true, kStamp, {}, owner).outcome,
                 StaffSessions::Outcome::Throttled);
        QCOMPARE(sessions.signIn(QStringLiteral("10.0.0.9"), true, kStamp, waitersPhone, owner).outcome,
                 StaffSessions::Outcome::Throttled);
        QCOMPARE(sessions.signIn(QStringLiteral("10.0.0.7"), true, kStamp, {}, waiter).outcome,
                 StaffSessions::Outcome::Accepted);
    }
    StaffSessions restarted(time.clock(), guardFile);
    QCOMPARE(restarted.signIn(QStringLiteral("10.0.0.9"), true, kStamp, {}, owner).outcome,
             StaffSessions::Outcome::Throttled);
    const StaffSessions::SignIn again =
        restarted.signIn(QStringLiteral("10.0.0.5"), true, kStamp, waitersPhone, waiter);
    QCOMPARE(again.outcome, StaffSessions::Outcome::Accepted);
    QCOMPARE(again.device, waitersPhone);

    QFile older(guardFile);
    QVERIFY(older.open(QIODevice::WriteOnly | QIODevice::Truncate));
    older.write(QStringLiteral(R"({"allowance":0,"refilled":%1,"devices":{}})")
                    .arg(QDateTime::currentMSecsSinceEpoch())
                    .toLatin1());
    older.close();
    StaffSessions fromOlderFile(time.clock(), guardFile);
    QCOMPARE(fromOlderFile.signIn(QStringLiteral("10.0.0.9"), true, kStamp, {}, owner).outcome,
             StaffSessions::Outcome::Throttled);
    QCOMPARE(fromOlderFile.signIn(QStringLiteral("10.0.0.7"), true, kStamp, {}, waiter).outcome,
             StaffSessions::Outcome::Accepted);
}

void TestStaffSessions::theAcknowledgedAlarmReturnsOnlyForNewWrongPasswords() {
    TestHome home;
    const QString folder = home.path(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(folder));
    const QDateTime start = QDateTime::currentDateTimeUtc();
    QDateTime clicked;
    PhoneAlarm alarm(folder, [&] { return clicked; });
    const auto wrongPasswordAt = [&](int seconds) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(PhoneAlarm::kFileName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(start.addSecs(seconds), QFileDevice::FileModificationTime));
    };
    QVERIFY(!alarm.raisedSinceLastCheck());
    wrongPasswordAt(10);
    QVERIFY(alarm.raisedSinceLastCheck());
    QVERIFY(!alarm.raisedSinceLastCheck());
    wrongPasswordAt(20);
    clicked = start.addSecs(30);
    alarm.acknowledge();
    QVERIFY(!alarm.raisedSinceLastCheck());
    // The same attack's wrong password from before the click, only noticed now, stays old news.
    wrongPasswordAt(25);
    QVERIFY(!alarm.raisedSinceLastCheck());
    wrongPasswordAt(40);
    QVERIFY(alarm.raisedSinceLastCheck());
}

void TestStaffSessions::sessionsAreBounded() {
    FakeClock time;
    StaffSessions sessions(time.clock());
    const QString first = sessions.signIn(QStringLiteral("10.0.0.9"), true, kStamp).session;
    time.now += 1s;
    QString last;
    for (int i = 0; i < StaffSessions::kMaxSessions; ++i)
        last = sessions.signIn(QStringLiteral("10.0.0.9"), true, kStamp).session;
    QVERIFY(!sessions.check(first, kStamp)); // the one unused longest made room
    QVERIFY(sessions.check(last, kStamp));
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
    db->setUserVersion(1);
    MigrateSchema(*db);
    QCOMPARE(db->userVersion(), kSchemaVersion);
    const QStringList keys = SettingsStore(*db).tableKeys();
    QCOMPARE(TableTokens::EnsureTokens(*db, keys).size(), keys.size());
    MigrateSchema(*db); // a second start changes nothing
    QCOMPARE(TableTokens::EnsureTokens(*db, keys).size(), keys.size());
}

QTEST_GUILESS_MAIN(TestStaffSessions)
#include "test_staff_sessions.moc"

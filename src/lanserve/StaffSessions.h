#pragma once

#include "lanserve/DeviceGuard.h"
#include "store/Schema.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>

// Signed-in staff devices, kept in the server's memory: a random session id per sign-in, tied to the login
// password it was given for. A session ends when it has not been used for a while, when it is older than a
// working day, when the password changes, or on sign-out.
// Against guessing: a phone that signed in to an account before (its device cookie, see DeviceGuard) only
// answers for its own wrong tries, so guessing elsewhere never keeps a waiter out. Unknown phones share the
// rest: wrong passwords lock their address for a minute after a few tries; many from anywhere make every
// unknown phone wait a little, longer each time; and together they get a small allowance per account that
// lasts the year.
class StaffSessions {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr std::chrono::hours kIdleLimit{12};
    static constexpr std::chrono::hours kLifetime{16};
    static constexpr int kMaxWrongTries = 5; // in a row from one address
    static constexpr std::chrono::minutes kLockTime{1};
    // Wrong passwords from unknown phones together within the window that raise the alarm.
    static constexpr int kAlarmWrongTries = 20;
    static constexpr std::chrono::minutes kAlarmWindow{10};
    static constexpr std::chrono::seconds kFirstDelay{2};
    static constexpr std::chrono::seconds kLongestDelay{300};
    // Most sessions kept; the one unused longest goes first.
    static constexpr int kMaxSessions = 2000;

    // `guardFile` keeps the known phones and the unknown ones' allowance across restarts (empty: memory
    // only).
    explicit StaffSessions(Clock clock = &std::chrono::steady_clock::now, const QString& guardFile = {});

    enum class Outcome {
        Accepted,
        WrongPassword,
        Locked,      // this address tried too many wrong passwords
        Throttled,   // too many wrong passwords from unknown phones: they wait
        DeviceWaits, // this known phone tried too many wrong passwords
    };
    struct SignIn {
        Outcome outcome;
        QString session;                    // set when accepted
        QString device;                     // when accepted, the device cookie the phone keeps
        std::chrono::seconds retryAfter{0}; // when refused for a while, how long until the next try
        bool lockStarted = false;           // this try locked its address or its known phone
        bool alarmStarted = false;          // this try raised the alarm
        bool alarmed = false;               // a wrong password while the alarm holds: news for the counter
        bool allowanceSpent = false;        // this try used up what unknown phones may try
    };
    // A sign-in from `peer` whose password the caller checked; `passwordStamp` names the password now
    // stored (see PasswordStamp), `device` is the phone's device cookie (may be empty). While the phone
    // must wait, even the right password is refused without being looked at.
    // `passwordMatches` is asked only when the try may be looked at: a refused try costs no hashing.
    SignIn signIn(const QString& peer, const std::function<bool()>& passwordMatches,
                  const QString& passwordStamp, const QString& device = {},
                  const QString& staff = kFirstStaffId);
    SignIn signIn(const QString& peer, bool passwordMatches, const QString& passwordStamp,
                  const QString& device = {}, const QString& staff = kFirstStaffId);

    // True for a live session given for the password stored now; its idle time starts again. A password
    // other than the one a session was given for ends every session of the old one.
    bool check(const QString& session, const QHash<QString, QString>& passwordStampsByStaff);
    // The same for a restaurant with one account.
    bool check(const QString& session, const QString& passwordStamp);
    // The 工号 a live session signed in as; empty for none.
    QString staffOf(const QString& session);
    void signOut(const QString& session);
    // True while wrong passwords from everywhere are at the alarm level.
    bool alarmed();

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Session {
        TimePoint started;
        TimePoint lastUse;
        QString passwordStamp;
        QString staff;
    };
    struct Tries {
        int wrong = 0;
        TimePoint lockedUntil{};
    };
    void dropExpired(TimePoint now);
    void forgetOldFailures(TimePoint now);
    bool alive(const Session& session, TimePoint now) const;
    SignIn wrongPassword(const QString& peer, const QString& staff, TimePoint now);
    SignIn knownDeviceSignIn(const QString& peer, const QString& device,
                             const std::function<bool()>& passwordMatches, const QString& passwordStamp,
                             const QString& staff, TimePoint now);
    QString startSession(const QString& passwordStamp, const QString& staff, TimePoint now);

    Clock clock_;
    std::mutex mutex_;
    QHash<QString, Session> sessions_;
    QHash<QString, Tries> tries_;
    std::deque<TimePoint> failures_; // unknown phones' wrong passwords within the alarm window
    std::chrono::seconds delay_{0};  // the wait between their sign-ins while alarmed
    TimePoint nextTry_{};
    DeviceGuard guard_;
};

// A short fingerprint of a stored password, so a session can tell whether the password it was given for
// is still the one in force without keeping the password itself.
QString PasswordStamp(const QString& storedPassword);

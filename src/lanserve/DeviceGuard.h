#pragma once

#include <QHash>
#include <QString>

#include <chrono>

// What the staff sign-in remembers across restarts of the server, in a file of the data folder, for each
// staff account (工号) on its own:
//  - the phones that signed in to the account before, by a hash of their device cookie, each with wrong
//    tries of its own, so that guessing from elsewhere never keeps them out;
//  - what is left of the wrong passwords all other (unknown) phones together may try for the account. A
//    handful at once, then one more every few days: a short password stays out of reach for a year,
//    restarts included, and guessing one account's password never holds up another's sign-in.
// Sign-ins naming no account share one allowance (the empty 工号).
// Not locked: StaffSessions calls it under its own lock.
class DeviceGuard {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Wrong passwords unknown phones may try at once, and how often one more is allowed after that:
    // at most 40 + 92 in a year.
    static constexpr int kUnknownAllowance = 40;
    static constexpr std::chrono::hours kAllowanceRefill{96};
    // A known phone tries this many wrong passwords in a row freely, then waits, twice as long each time.
    static constexpr int kDeviceWrongTries = 5;
    static constexpr std::chrono::minutes kDeviceFirstWait{1};
    static constexpr std::chrono::hours kDeviceLongestWait{7 * 24};
    // A phone that has not signed in for a year is unknown again; so long its cookie lives.
    static constexpr std::chrono::hours kDeviceLifetime{365 * 24};
    static constexpr int kMaxDevices = 500;
    static constexpr int kMaxAllowances = 1000;

    // Reads `file` when given (an empty name keeps everything in memory); `now` is the caller's clock.
    DeviceGuard(QString file, TimePoint now);

    // How long unknown phones must wait before the next try for `staff`; zero when they may try now.
    std::chrono::seconds unknownWait(const QString& staff, TimePoint now);
    // An unknown phone's wrong password for `staff`; true when it used up what was left.
    bool unknownWrongPassword(const QString& staff, TimePoint now);

    // True when the cookie names a phone that signed in to `staff` within the lifetime.
    bool knows(const QString& device, const QString& staff, TimePoint now) const;
    std::chrono::seconds deviceWait(const QString& device, const QString& staff, TimePoint now) const;
    // A known phone's wrong password; true when the phone must now wait.
    bool deviceWrongPassword(const QString& device, const QString& staff, TimePoint now);
    // A right password: the phone's count starts again. Returns the cookie it keeps (a new one for a phone
    // without one); a phone keeps one cookie whichever accounts it signs in to.
    QString signedIn(const QString& device, const QString& staff, TimePoint now);

private:
    struct Device {
        TimePoint signedIn;
        int wrong = 0;
        TimePoint waitUntil{};
    };
    struct Allowance {
        double left = kUnknownAllowance;
        TimePoint refilled;
    };
    Allowance& allowanceOf(const QString& staff, TimePoint now);
    void dropForgotten(TimePoint now);
    void load(TimePoint now);
    void save(TimePoint now) const;
    static QString idOf(const QString& device, const QString& staff);

    QString file_;
    QHash<QString, Allowance> allowances_; // by 工号
    QHash<QString, Device> devices_;       // by idOf(cookie, 工号)
};

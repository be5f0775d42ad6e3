#pragma once

#include <QHash>
#include <QString>

#include <chrono>

// What the staff sign-in remembers across restarts of the server, in a file of the data folder:
//  - the phones that signed in before, by a hash of their device cookie, each with wrong tries of its own,
//    so that guessing from elsewhere never keeps them out;
//  - what is left of the wrong passwords all other (unknown) phones together may try. A handful at once,
//    then one more every few days: a short password stays out of reach for a year, restarts included.
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

    // Reads `file` when given (an empty name keeps everything in memory); `now` is the caller's clock.
    DeviceGuard(QString file, TimePoint now);

    // How long unknown phones must wait before the next try; zero when they may try now.
    std::chrono::seconds unknownWait(TimePoint now);
    // An unknown phone's wrong password; true when it used up what was left.
    bool unknownWrongPassword(TimePoint now);

    // True when the cookie names a phone that signed in within the lifetime.
    bool knows(const QString& device, TimePoint now) const;
    std::chrono::seconds deviceWait(const QString& device, TimePoint now) const;
    // A known phone's wrong password; true when the phone must now wait.
    bool deviceWrongPassword(const QString& device, TimePoint now);
    // A right password: the phone's count starts again. Returns the cookie it keeps (a new one for an
    // unknown phone).
    QString signedIn(const QString& device, TimePoint now);

private:
    struct Device {
        TimePoint signedIn;
        int wrong = 0;
        TimePoint waitUntil{};
    };
    void refill(TimePoint now);
    void dropForgotten(TimePoint now);
    void load(TimePoint now);
    void save(TimePoint now) const;
    static QString idOf(const QString& device);

    QString file_;
    double allowance_ = kUnknownAllowance;
    TimePoint refilled_;
    QHash<QString, Device> devices_; // by idOf(cookie)
};

#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <functional>
#include <mutex>

// Signed-in staff devices, kept in the server's memory: a random session id per sign-in that lapses after
// a time without use, and a lock on sign-in for an address after repeated wrong passwords.
class StaffSessions {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr std::chrono::hours kIdleLimit{12};
    static constexpr int kMaxWrongTries = 5;
    static constexpr std::chrono::minutes kLockTime{1};
    // Most sessions kept; the one unused longest goes first.
    static constexpr int kMaxSessions = 2000;

    explicit StaffSessions(Clock clock = &std::chrono::steady_clock::now,
                           std::chrono::seconds idleLimit = kIdleLimit);

    enum class Outcome { Accepted, WrongPassword, Locked };
    struct SignIn {
        Outcome outcome;
        QString session; // set when accepted
    };
    // A sign-in from `peer` whose password was checked by the caller. While the address is locked even the
    // right password is refused; the fifth wrong try in a row locks it.
    SignIn signIn(const QString& peer, bool passwordMatches);

    // True for a live session; its idle time starts again.
    bool check(const QString& session);
    void signOut(const QString& session);

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Tries {
        int wrong = 0;
        TimePoint lockedUntil{};
    };
    void dropExpired(TimePoint now);

    Clock clock_;
    std::chrono::seconds idleLimit_;
    std::mutex mutex_;
    QHash<QString, TimePoint> lastUse_;
    QHash<QString, Tries> tries_;
};

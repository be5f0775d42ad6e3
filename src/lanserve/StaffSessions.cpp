#include "lanserve/StaffSessions.h"

#include "mobile/TableTokens.h"

#include <QCryptographicHash>

StaffSessions::StaffSessions(Clock clock, const QString& guardFile)
    : clock_(std::move(clock)), guard_(guardFile, clock_()) {}

QString PasswordStamp(const QString& storedPassword) {
    return QString::fromLatin1(
        QCryptographicHash::hash(storedPassword.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

StaffSessions::SignIn StaffSessions::signIn(const QString& peer, bool passwordMatches,
                                            const QString& passwordStamp, const QString& device,
                                            const QString& staff) {
    return signIn(
        peer, [passwordMatches] { return passwordMatches; }, passwordStamp, device, staff);
}

StaffSessions::SignIn StaffSessions::signIn(const QString& peer, const std::function<bool()>& passwordMatches,
                                            const QString& passwordStamp, const QString& device,
                                            const QString& staff) {
    const std::scoped_lock lock(mutex_);
    const TimePoint now = clock_();
    if (tries_.size() > kMaxSessions)
        dropExpired(now);
    forgetOldFailures(now);
    if (guard_.knows(device, staff, now))
        return knownDeviceSignIn(peer, device, passwordMatches, passwordStamp, staff, now);
    const Tries& tries = tries_[peer];
    if (now < tries.lockedUntil)
        return {Outcome::Locked, {}, {}, std::chrono::ceil<std::chrono::seconds>(tries.lockedUntil - now)};
    if (now < nextTry_)
        return {Outcome::Throttled, {}, {}, std::chrono::ceil<std::chrono::seconds>(nextTry_ - now)};
    if (const std::chrono::seconds wait = guard_.unknownWait(staff, now); wait.count() > 0)
        return {Outcome::Throttled, {}, {}, wait};
    if (!passwordMatches())
        return wrongPassword(peer, staff, now);
    tries_.remove(peer);
    // The phone's cookie stays: it may know the phone for other accounts.
    return {Outcome::Accepted, startSession(passwordStamp, staff, now), guard_.signedIn(device, staff, now)};
}

// A phone that signed in before answers only for itself: neither its address's lock nor the unknown phones'
// wait applies to it.
StaffSessions::SignIn StaffSessions::knownDeviceSignIn(const QString& peer, const QString& device,
                                                       const std::function<bool()>& passwordMatches,
                                                       const QString& passwordStamp, const QString& staff,
                                                       TimePoint now) {
    if (const std::chrono::seconds wait = guard_.deviceWait(device, staff, now); wait.count() > 0)
        return {Outcome::DeviceWaits, {}, {}, wait};
    if (!passwordMatches()) {
        SignIn result{Outcome::WrongPassword, {}, {}};
        if (guard_.deviceWrongPassword(device, staff, now)) {
            result.outcome = Outcome::DeviceWaits;
            result.retryAfter = guard_.deviceWait(device, staff, now);
            result.lockStarted = true;
        }
        return result;
    }
    tries_.remove(peer);
    return {Outcome::Accepted, startSession(passwordStamp, staff, now), guard_.signedIn(device, staff, now)};
}

StaffSessions::SignIn StaffSessions::wrongPassword(const QString& peer, const QString& staff, TimePoint now) {
    SignIn result{Outcome::WrongPassword, {}, {}};
    failures_.push_back(now);
    const bool windowFull = static_cast<int>(failures_.size()) >= kAlarmWrongTries;
    if (windowFull) {
        result.alarmStarted = delay_.count() == 0;
        delay_ = delay_.count() == 0 ? kFirstDelay : std::min(2 * delay_, kLongestDelay);
        nextTry_ = now + delay_;
    }
    result.allowanceSpent = guard_.unknownWrongPassword(staff, now);
    // Once the allowance is gone every wrong password that still gets through is one of the attack.
    result.alarmed = windowFull || guard_.unknownWait(staff, now).count() > 0;
    Tries& tries = tries_[peer];
    if (++tries.wrong >= kMaxWrongTries) {
        tries.wrong = 0;
        tries.lockedUntil = now + kLockTime;
        result.outcome = Outcome::Locked;
        result.lockStarted = true;
        result.retryAfter = std::chrono::duration_cast<std::chrono::seconds>(kLockTime);
    }
    return result;
}

QString StaffSessions::startSession(const QString& passwordStamp, const QString& staff, TimePoint now) {
    dropExpired(now);
    if (sessions_.size() >= kMaxSessions) {
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
            if (it.value().lastUse < oldest.value().lastUse)
                oldest = it;
        sessions_.erase(oldest);
    }
    const QString session = TableTokens::NewToken();
    sessions_.insert(session, Session{now, now, passwordStamp, staff});
    return session;
}

bool StaffSessions::check(const QString& session, const QString& passwordStamp) {
    return check(session, QHash<QString, QString>{{kFirstStaffId, passwordStamp}});
}

bool StaffSessions::check(const QString& session, const QHash<QString, QString>& passwordStampsByStaff) {
    if (session.isEmpty())
        return false;
    const std::scoped_lock lock(mutex_);
    const TimePoint now = clock_();
    const auto found = sessions_.find(session);
    if (found == sessions_.end())
        return false;
    const auto stillValid = [&passwordStampsByStaff](const Session& kept) {
        const auto stamp = passwordStampsByStaff.constFind(kept.staff);
        return stamp != passwordStampsByStaff.cend() && *stamp == kept.passwordStamp;
    };
    if (!stillValid(found.value())) {
        // A password changed or an account was disabled: no phone keeps a session given for the old one.
        for (auto it = sessions_.begin(); it != sessions_.end();)
            it = stillValid(it.value()) ? std::next(it) : sessions_.erase(it);
        return false;
    }
    if (!alive(found.value(), now)) {
        sessions_.erase(found);
        return false;
    }
    found.value().lastUse = now;
    return true;
}

QString StaffSessions::staffOf(const QString& session) {
    const std::scoped_lock lock(mutex_);
    const auto found = sessions_.constFind(session);
    return found == sessions_.cend() ? QString() : found->staff;
}

void StaffSessions::signOut(const QString& session) {
    const std::scoped_lock lock(mutex_);
    sessions_.remove(session);
}

bool StaffSessions::alarmed() {
    const std::scoped_lock lock(mutex_);
    forgetOldFailures(clock_());
    return static_cast<int>(failures_.size()) >= kAlarmWrongTries;
}

bool StaffSessions::alive(const Session& session, TimePoint now) const {
    return now - session.lastUse < kIdleLimit && now - session.started < kLifetime;
}

void StaffSessions::forgetOldFailures(TimePoint now) {
    while (!failures_.empty() && now - failures_.front() >= kAlarmWindow)
        failures_.pop_front();
    if (static_cast<int>(failures_.size()) < kAlarmWrongTries)
        delay_ = std::chrono::seconds(0);
}

void StaffSessions::dropExpired(TimePoint now) {
    for (auto it = sessions_.begin(); it != sessions_.end();)
        it = alive(it.value(), now) ? std::next(it) : sessions_.erase(it);
    // Addresses neither locked nor counting wrong tries are forgotten.
    for (auto it = tries_.begin(); it != tries_.end();)
        it = it.value().wrong == 0 && now >= it.value().lockedUntil ? tries_.erase(it) : std::next(it);
}

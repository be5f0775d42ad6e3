#include "mobile/server/StaffSessions.h"

#include "mobile/TableTokens.h"

StaffSessions::StaffSessions(Clock clock, std::chrono::seconds idleLimit)
    : clock_(std::move(clock)), idleLimit_(idleLimit) {}

StaffSessions::SignIn StaffSessions::signIn(const QString& peer, bool passwordMatches) {
    const std::scoped_lock lock(mutex_);
    const TimePoint now = clock_();
    if (tries_.size() > kMaxSessions)
        dropExpired(now);
    Tries& tries = tries_[peer];
    if (now < tries.lockedUntil)
        return {Outcome::Locked, {}};
    if (!passwordMatches) {
        if (++tries.wrong < kMaxWrongTries)
            return {Outcome::WrongPassword, {}};
        tries.wrong = 0;
        tries.lockedUntil = now + kLockTime;
        return {Outcome::Locked, {}};
    }
    tries_.remove(peer);
    dropExpired(now);
    if (lastUse_.size() >= kMaxSessions) {
        auto oldest = lastUse_.begin();
        for (auto it = lastUse_.begin(); it != lastUse_.end(); ++it)
            if (it.value() < oldest.value())
                oldest = it;
        lastUse_.erase(oldest);
    }
    const QString session = TableTokens::NewToken();
    lastUse_.insert(session, now);
    return {Outcome::Accepted, session};
}

bool StaffSessions::check(const QString& session) {
    if (session.isEmpty())
        return false;
    const std::scoped_lock lock(mutex_);
    const TimePoint now = clock_();
    const auto found = lastUse_.find(session);
    if (found == lastUse_.end())
        return false;
    if (now - found.value() >= idleLimit_) {
        lastUse_.erase(found);
        return false;
    }
    found.value() = now;
    return true;
}

void StaffSessions::signOut(const QString& session) {
    const std::scoped_lock lock(mutex_);
    lastUse_.remove(session);
}

void StaffSessions::dropExpired(TimePoint now) {
    for (auto it = lastUse_.begin(); it != lastUse_.end();)
        it = now - it.value() >= idleLimit_ ? lastUse_.erase(it) : std::next(it);
    // Addresses neither locked nor counting wrong tries are forgotten.
    for (auto it = tries_.begin(); it != tries_.end();)
        it = it.value().wrong == 0 && now >= it.value().lockedUntil ? tries_.erase(it) : std::next(it);
}

#include "store/Claims.h"

#include "store/Database.h"
#include "store/Log.h"

namespace {

constexpr std::chrono::milliseconds kLease{20'000};
constexpr int kDescriptionWidth = 200; // 占用.说明

qint64 leaseInMilliseconds() {
    return static_cast<qint64>(Claims::LeaseLength().count());
}

QString holderDescription() {
    return Database::ClaimHolderDescription().left(kDescriptionWidth);
}

} // namespace

std::chrono::milliseconds Claims::LeaseLength() {
    bool valid = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("CJ_CLAIM_LEASE_MS", &valid);
    return valid && fromEnvironment > 0 ? std::chrono::milliseconds(fromEnvironment) : kLease;
}

std::chrono::milliseconds Claims::RenewalInterval() {
    return LeaseLength() / 4;
}

QString Claims::TableObject(int table) {
    return QStringLiteral("餐桌 %1").arg(table);
}

QString Claims::BillObject(const QString& billId) {
    return QStringLiteral("账单 ") + billId;
}

bool Claims::take(const QString& object) {
    const qint64 lease = leaseInMilliseconds();
    Transaction step(db_);
    Statement expired(
        db_, "DELETE FROM \"占用\" WHERE \"对象\" = ? AND \"持有者\" <> ? AND \"到期\" <= cj_now_ms()");
    expired.bind(1, object).bind(2, db_.claimHolder()).run();
    Statement renew(db_, "UPDATE \"占用\" SET \"到期\" = cj_now_ms() + ?, \"说明\" = ? "
                         "WHERE \"对象\" = ? AND \"持有者\" = ?");
    renew.bind(1, lease).bind(2, holderDescription()).bind(3, object).bind(4, db_.claimHolder()).run();
    if (db_.changes() == 0) {
        // What is left after the expired rows went is another holder's live claim.
        Statement other(db_, "SELECT 1 FROM \"占用\" WHERE \"对象\" = ?");
        if (other.bind(1, object).next())
            return false;
        Statement insert(db_, "INSERT INTO \"占用\" (\"对象\", \"持有者\", \"说明\", \"到期\") "
                              "VALUES (?, ?, ?, cj_now_ms() + ?)");
        insert.bind(1, object).bind(2, db_.claimHolder()).bind(3, holderDescription()).bind(4, lease).run();
    }
    step.commit();
    return true;
}

void Claims::release(const QString& object) {
    Statement release(db_, "DELETE FROM \"占用\" WHERE \"对象\" = ? AND \"持有者\" = ?");
    release.bind(1, object).bind(2, db_.claimHolder()).run();
}

std::optional<QString> Claims::heldElsewhere(const QString& object) {
    Statement other(db_, "SELECT \"说明\" FROM \"占用\" "
                         "WHERE \"对象\" = ? AND \"持有者\" <> ? AND \"到期\" > cj_now_ms()");
    if (!other.bind(1, object).bind(2, db_.claimHolder()).next())
        return std::nullopt;
    return other.text(0);
}

bool Claims::stillHeld(const QString& object) {
    // Whoever took the object after this claim ran out deleted its row first.
    Statement renew(db_,
                    "UPDATE \"占用\" SET \"到期\" = cj_now_ms() + ? WHERE \"对象\" = ? AND \"持有者\" = ?");
    renew.bind(1, leaseInMilliseconds()).bind(2, object).bind(3, db_.claimHolder()).run();
    return db_.changes() > 0;
}

ClaimKeeper::ClaimKeeper(const Database& db)
    : db_(db.connectAgain()), thread_([this](const std::stop_token& stop) { keepRenewing(stop); }) {}

ClaimKeeper::~ClaimKeeper() {
    thread_.request_stop();
    thread_.join();
    releaseAll();
}

void ClaimKeeper::keepRenewing(const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        renewAll();
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, stop, Claims::RenewalInterval(), [] { return false; });
    }
}

void ClaimKeeper::renewAll() {
    try {
        Statement renew(*db_, "UPDATE \"占用\" SET \"到期\" = cj_now_ms() + ? WHERE \"持有者\" = ?");
        renew.bind(1, leaseInMilliseconds()).bind(2, db_->claimHolder()).run();
        if (failing_)
            Log::write(QStringLiteral("占用续期恢复正常"));
        failing_ = false;
    } catch (const std::exception& error) {
        // The claims run out if this goes on; saying so once is enough, and the next round tries again.
        if (!failing_)
            Log::write(QStringLiteral("占用无法续期，稍后重试：") + QString::fromUtf8(error.what()));
        failing_ = true;
    }
}

void ClaimKeeper::releaseAll() {
    try {
        Statement release(*db_, "DELETE FROM \"占用\" WHERE \"持有者\" = ?");
        release.bind(1, db_->claimHolder()).run();
    } catch (const std::exception& error) {
        // They run out by themselves within a lease.
        Log::write(QStringLiteral("占用无法解除：") + QString::fromUtf8(error.what()));
    }
}

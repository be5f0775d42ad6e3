#pragma once

#include <QString>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class Database;

// What only one holder may have at a time: a table open in a counter's ordering window, a closed bill
// opened from the history, the one Lanserve, the one print spooler. A claim is a row of 占用 that expires
// on the database's own clock (cj_now_ms()) unless its holder renews it (ClaimKeeper), so it outlives
// reconnects and server restarts, and a holder that vanishes loses it within a lease. The holder is the
// opened database (Database::claimHolder()): the connections a process makes again share its claims.
class Claims {
public:
    explicit Claims(Database& db) : db_(db) {}

    // Claims the object for this holder; false when another holder's claim on it is still live. A step of
    // its own (a savepoint inside the caller's). Taking it again renews it.
    bool take(const QString& object);
    void release(const QString& object);
    // Another holder's live claim on the object: its description; nullopt when none. Read inside the
    // caller's step (used by the bill store before every counter write).
    std::optional<QString> heldElsewhere(const QString& object);
    // True while this holder still has the object (a claim that expired but nobody else took counts, and
    // is renewed); false once another holder took it.
    bool stillHeld(const QString& object);

    static QString TableObject(int table);
    static QString BillObject(const QString& billId);
    static constexpr const char* kLanserveObject = "Lanserve";
    static constexpr const char* kSpoolerObject = "打印";

    // How long a claim lives without renewal: 20 s, or CJ_CLAIM_LEASE_MS (tests need no 20 s waits).
    static std::chrono::milliseconds LeaseLength();
    // How often a keeper renews: a quarter of the lease, so a renewal or two may fail or come late.
    static std::chrono::milliseconds RenewalInterval();

private:
    Database& db_;
};

// Renews every claim of this database's holder from a thread of its own (its own connection, made with
// connectAgain), so a busy window never lets them lapse; releases them all when destroyed.
class ClaimKeeper {
public:
    explicit ClaimKeeper(const Database& db);
    ~ClaimKeeper();
    ClaimKeeper(const ClaimKeeper&) = delete;
    ClaimKeeper& operator=(const ClaimKeeper&) = delete;

private:
    void keepRenewing(const std::stop_token& stop);
    void renewAll();
    void releaseAll();

    std::unique_ptr<Database> db_;
    bool failing_ = false; // the last renewal failed; logged once until one succeeds
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::jthread thread_; // last: starts once the rest is ready
};

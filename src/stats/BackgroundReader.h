#pragma once

#include "store/Database.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// A connection for statistics to the same database as db. On the file they read the same pages again for
// the next category or range, so it keeps up to 32 MB of them.
std::unique_ptr<Database> OpenStatsConnection(const Database& db);

// Runs read-only computations one at a time off the user interface thread, on a connection of its own to the
// same database (OpenStatsConnection, opened on first use and kept). Results come back as a queued call on
// the receiver's thread. The receiver must own the reader (or outlive it): the destructor waits for the
// computation, and a queued result dies with its receiver.
class BackgroundReader {
public:
    explicit BackgroundReader(const Database& db);
    BackgroundReader(const BackgroundReader&) = delete;
    BackgroundReader& operator=(const BackgroundReader&) = delete;
    // Waits for a running computation.
    ~BackgroundReader();

    bool busy() const { return busy_; }

    // Starts job unless one is running (then false). done gets the result, failed the message of a
    // StoreError.
    template <class Result>
    bool start(QObject* receiver, std::function<Result(Database&)> job, std::function<void(Result)> done,
               std::function<void(QString)> failed) {
        return launch(
            [this, receiver, job = std::move(job), done = std::move(done), failed = std::move(failed)]() {
                try {
                    auto result = std::make_shared<Result>(job(connection()));
                    deliver(receiver, [done, result] { done(std::move(*result)); });
                } catch (const StoreError& error) {
                    deliver(receiver, [failed, text = error.text()] { failed(text); });
                }
            });
    }

private:
    bool launch(std::function<void()> work);
    Database& connection();
    void deliver(QObject* receiver, std::function<void()> call);

    const Database& source_;
    std::unique_ptr<Database> db_;
    std::thread thread_;
    std::atomic<bool> busy_ = false;
};

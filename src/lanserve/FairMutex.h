#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

// A lock handed over in the order it was asked for. Requests queue for the one database connection; first
// come, first served keeps the slowest answer close to the queue length times the time of one request.
// Only the next waiter is woken.
class FairMutex {
public:
    void lock() {
        std::unique_lock guard(mutex_);
        if (!held_) {
            held_ = true;
            return;
        }
        Waiter waiter;
        queue_.push_back(&waiter);
        waiter.turn.wait(guard, [&] { return waiter.granted; });
    }
    void unlock() {
        const std::scoped_lock guard(mutex_);
        if (queue_.empty()) {
            held_ = false;
            return;
        }
        Waiter* next = queue_.front();
        queue_.pop_front();
        next->granted = true;
        next->turn.notify_one();
    }

private:
    struct Waiter {
        std::condition_variable turn;
        bool granted = false;
    };
    std::mutex mutex_;
    std::deque<Waiter*> queue_;
    bool held_ = false;
};

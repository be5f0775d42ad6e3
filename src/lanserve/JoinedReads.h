#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// A value read on behalf of many threads at once, where each caller needs a reading that began after it
// asked (a fresher one would do, an older one would not). One reading serves every caller that asked
// before it began, so callers that come together share one reading instead of queueing for one each.
template <typename Value> class JoinedReads {
public:
    explicit JoinedReads(std::function<Value()> read) : read_(std::move(read)) {}

    Value get() {
        std::unique_lock lock(mutex_);
        const std::uint64_t needed = started_ + 1; // the first reading that begins after now
        while (finished_ < needed) {
            if (reading_) {
                done_.wait(lock);
                continue;
            }
            reading_ = true;
            const std::uint64_t mine = ++started_;
            lock.unlock();
            try {
                Value value = read_();
                lock.lock();
                latest_ = std::move(value);
                finished_ = mine;
            } catch (...) {
                lock.lock();
                reading_ = false;
                done_.notify_all();
                throw;
            }
            reading_ = false;
            done_.notify_all();
        }
        return latest_;
    }

private:
    const std::function<Value()> read_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool reading_ = false;
    std::uint64_t started_ = 0;
    std::uint64_t finished_ = 0;
    Value latest_{};
};

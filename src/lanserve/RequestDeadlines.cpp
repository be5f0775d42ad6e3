#include "lanserve/RequestDeadlines.h"

#include <sys/socket.h>

RequestDeadlines::RequestDeadlines(std::chrono::milliseconds limit, Clock clock, CutOff cutOff)
    : limit_(limit), clock_(std::move(clock)), cutOff_(std::move(cutOff)) {}

// The sweeping thread is the last member: it is stopped and joined before anything it uses goes.
RequestDeadlines::~RequestDeadlines() = default;

void RequestDeadlines::opened(int socket) {
    restart(socket);
}

void RequestDeadlines::received(int socket) {
    const std::scoped_lock lock(mutex_);
    if (const auto found = deadlines_.find(socket); found != deadlines_.end())
        found->second.reset();
}

void RequestDeadlines::answered(int socket) {
    const std::scoped_lock lock(mutex_);
    if (const auto found = deadlines_.find(socket); found != deadlines_.end())
        found->second = clock_() + limit_;
}

void RequestDeadlines::closed(int socket) {
    const std::scoped_lock lock(mutex_);
    deadlines_.erase(socket);
}

void RequestDeadlines::restart(int socket) {
    const std::scoped_lock lock(mutex_);
    deadlines_[socket] = clock_() + limit_;
}

int RequestDeadlines::sweep() {
    const std::scoped_lock lock(mutex_);
    const TimePoint now = clock_();
    int cut = 0;
    for (auto& [socket, deadline] : deadlines_) {
        if (!deadline || now < *deadline)
            continue;
        // Held under the lock, so the connection cannot be closed and its socket reused meanwhile.
        cutOff_(socket);
        deadline.reset();
        ++cut;
    }
    return cut;
}

void RequestDeadlines::startSweeping(std::chrono::milliseconds interval) {
    sweeper_ = std::jthread([this, interval](const std::stop_token& stop) {
        std::mutex sleepMutex;
        std::unique_lock sleeping(sleepMutex);
        while (!stop.stop_requested()) {
            wake_.wait_for(sleeping, stop, interval, [] { return false; });
            if (!stop.stop_requested())
                sweep();
        }
    });
}

void RequestDeadlines::ShutDownSocket(int socket) {
    ::shutdown(socket, SHUT_RDWR);
}

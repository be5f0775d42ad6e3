#include "lanserve/RequestDeadlines.h"

#include <sys/socket.h>

RequestDeadlines::RequestDeadlines(Limits limits, Clock clock, CutOff cutOff)
    : limits_(limits), clock_(std::move(clock)), cutOff_(std::move(cutOff)) {}

// The sweeping thread is the last member: it is stopped and joined before anything it uses goes.
RequestDeadlines::~RequestDeadlines() = default;

void RequestDeadlines::opened(int socket) {
    const std::scoped_lock lock(mutex_);
    // A new socket is entered as not counted; one still listed (its close never reported) starts afresh.
    const auto connection = connections_.try_emplace(socket, Connection{Stage::Cut, {}}).first;
    stopWaiting(connection);
    if (connection->second.stage == Stage::Cut)
        ++live_;
    wait(connection, clock_());
    while (live_ > limits_.room && !waiting_.empty())
        cut(connections_.find(waiting_.begin()->second));
}

void RequestDeadlines::received(int socket) {
    const std::scoped_lock lock(mutex_);
    if (const auto found = connections_.find(socket);
        found != connections_.end() && found->second.stage == Stage::Waiting) {
        stopWaiting(found);
        found->second.stage = Stage::Working;
    }
}

void RequestDeadlines::answered(int socket) {
    const std::scoped_lock lock(mutex_);
    if (const auto found = connections_.find(socket);
        found != connections_.end() && found->second.stage != Stage::Cut) {
        stopWaiting(found);
        wait(found, clock_());
    }
}

void RequestDeadlines::closed(int socket) {
    const std::scoped_lock lock(mutex_);
    const auto found = connections_.find(socket);
    if (found == connections_.end())
        return;
    if (found->second.stage != Stage::Cut)
        --live_;
    stopWaiting(found);
    connections_.erase(found);
}

void RequestDeadlines::wait(Connections::iterator connection, TimePoint now) {
    connection->second = {Stage::Waiting, now};
    waiting_.emplace(now, connection->first);
}

void RequestDeadlines::stopWaiting(Connections::iterator connection) {
    if (connection->second.stage == Stage::Waiting)
        waiting_.erase({connection->second.since, connection->first});
}

// Called under the lock, so the connection cannot be closed and its socket reused meanwhile. Cut once:
// the library closes it in its own time.
void RequestDeadlines::cut(Connections::iterator connection) {
    stopWaiting(connection);
    connection->second.stage = Stage::Cut;
    --live_;
    cutOff_(connection->first);
}

std::chrono::milliseconds RequestDeadlines::currentWait() const {
    return live_ > limits_.crowdedFrom ? limits_.crowdedWait : limits_.wait;
}

int RequestDeadlines::sweep() {
    const std::scoped_lock lock(mutex_);
    const TimePoint due = clock_() - currentWait();
    int cutCount = 0;
    while (!waiting_.empty() && waiting_.begin()->first <= due) {
        cut(connections_.find(waiting_.begin()->second));
        ++cutCount;
    }
    return cutCount;
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

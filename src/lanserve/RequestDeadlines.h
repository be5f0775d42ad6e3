#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <limits>
#include <mutex>
#include <set>
#include <stop_token>
#include <thread>
#include <unordered_map>
#include <utility>

// Closes connections whose request does not arrive in time. A connection gets the time limit whenever it
// is ready for a request: when it opens and again after each answer. So a client that trickles its
// request head a line at a time, or connects and sends nothing, is cut off when the limit is up, however
// often it sends a byte; an honest phone sends a whole request in one packet. While a request is being
// worked on and answered no limit runs (the server library's inactivity timeout covers slow readers).
//
// Many such clients, from as many addresses as they like, must not fill the server: once more than
// `crowdedFrom` connections are open the limit shrinks, and a connection that opens beyond `room` makes
// the one that has waited longest for its request go at once. A phone's request, sent whole, is being
// worked on before it could be the one waiting longest.
//
// Connections are known by their socket. The server library reports a close before it closes the socket,
// so a socket is only ever shut down while it still belongs to the connection it was registered for.
class RequestDeadlines {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using CutOff = std::function<void(int socket)>;

    struct Limits {
        std::chrono::milliseconds wait;
        // The shorter wait while more than `crowdedFrom` connections are open.
        std::chrono::milliseconds crowdedWait = wait;
        std::size_t crowdedFrom = std::numeric_limits<std::size_t>::max();
        // Open connections kept.
        std::size_t room = std::numeric_limits<std::size_t>::max();
    };

    // By default a connection is cut off by shutting its socket down, which the server library sees as
    // the client having gone.
    explicit RequestDeadlines(Limits limits, Clock clock = &std::chrono::steady_clock::now,
                              CutOff cutOff = &ShutDownSocket);
    ~RequestDeadlines();
    RequestDeadlines(const RequestDeadlines&) = delete;
    RequestDeadlines& operator=(const RequestDeadlines&) = delete;

    void opened(int socket);
    // The whole request is here: no limit while it is worked on and answered.
    void received(int socket);
    // The answer is sent; the limit starts again for the next request on the connection.
    void answered(int socket);
    void closed(int socket);

    // Cuts off every connection whose time is up; returns how many.
    int sweep();
    // Sweeps every `interval` on a thread of its own until this is destroyed.
    void startSweeping(std::chrono::milliseconds interval);

    static void ShutDownSocket(int socket);

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    enum class Stage { Waiting, Working, Cut };
    struct Connection {
        Stage stage = Stage::Waiting;
        TimePoint since; // of the wait, while waiting
    };
    using Connections = std::unordered_map<int, Connection>;

    void wait(Connections::iterator connection, TimePoint now);
    void stopWaiting(Connections::iterator connection);
    void cut(Connections::iterator connection);
    std::chrono::milliseconds currentWait() const;

    const Limits limits_;
    const Clock clock_;
    const CutOff cutOff_;
    std::mutex mutex_;
    Connections connections_;
    // The connections waiting for a request, the longest waiting first.
    std::set<std::pair<TimePoint, int>> waiting_;
    // Open and not cut off.
    std::size_t live_ = 0;
    std::condition_variable_any wake_;
    std::jthread sweeper_;
};

#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <unordered_map>

// Closes connections whose request does not arrive in time. A connection gets the time limit whenever it
// is ready for a request: when it opens and again after each answer. So a client that trickles its
// request head a line at a time, or connects and sends nothing, is cut off when the limit is up, however
// often it sends a byte; an honest phone sends a whole request in one packet. While a request is being
// worked on and answered no limit runs (the server library's inactivity timeout covers slow readers).
//
// Connections are known by their socket. The server library reports a close before it closes the socket,
// so a socket is only ever shut down while it still belongs to the connection it was registered for.
class RequestDeadlines {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using CutOff = std::function<void(int socket)>;

    // By default a connection is cut off by shutting its socket down, which the server library sees as
    // the client having gone.
    explicit RequestDeadlines(std::chrono::milliseconds limit, Clock clock = &std::chrono::steady_clock::now,
                              CutOff cutOff = &ShutDownSocket);
    ~RequestDeadlines();
    RequestDeadlines(const RequestDeadlines&) = delete;
    RequestDeadlines& operator=(const RequestDeadlines&) = delete;

    void opened(int socket);
    // The whole request is here: no limit while it is answered.
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
    void restart(int socket);

    const std::chrono::milliseconds limit_;
    const Clock clock_;
    const CutOff cutOff_;
    std::mutex mutex_;
    // Open connections and, for those waiting for a request, the time it must have arrived by.
    std::unordered_map<int, std::optional<TimePoint>> deadlines_;
    std::condition_variable_any wake_;
    std::jthread sweeper_;
};

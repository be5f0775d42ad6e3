#pragma once

#include "lanserve/FairMutex.h"
#include "lanserve/PhonePages.h"
#include "lanserve/RequestDeadlines.h"
#include "mobile/MobileService.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string_view>

#include <netinet/in.h>

class Database;
struct MHD_Connection;
struct MHD_Daemon;

struct LanServerOptions {
    QString dataFolder;
    QString host = QStringLiteral("0.0.0.0"); // every IPv4 interface
    int port = MobileService::kPort;
    // Event-loop threads. Each serves many connections and holds none while it waits for a request, so a
    // few are enough; requests share one database lock anyway.
    int threads = 4;
    // Open connections in all. Tests and benchmarks set fewer, to reach the limit with a few dozen.
    unsigned maxConnections = 600;
    // Test and benchmark only: a file served unchanged at /bench/static.html, to compare a page that needs
    // no database work with the real pages on the same server.
    QString staticCopy;
};

// The HTTP side of Lanserve over libmicrohttpd: the seven pages under /phone/ and the dishes' pictures
// (read from the database), nothing else. No file is ever served from the data folder by path, so the
// database, backups and logs beside the pages cannot be fetched.
//
// An event loop serves the connections, so an idle or slow connection holds no thread. What hostile
// clients on the Wi-Fi can take is bounded: connections per address, connections in all, the time a
// request may take to arrive (from when the connection is ready for it), and every refusal closes its
// connection. However many addresses they come from, connections that hold back their request never
// keep out one that sends it: near the limit the one waiting longest makes room (RequestDeadlines).
class LanServer {
public:
    LanServer(Database& db, LanServerOptions options);
    ~LanServer();
    LanServer(const LanServer&) = delete;
    LanServer& operator=(const LanServer&) = delete;

    // Opens the listening socket; false when the address or port cannot be used.
    bool bind();
    // Serves until stop(); requests in flight are finished before it returns. False when serving could
    // not start.
    bool run();
    // Safe to call from another thread, also before run() has started.
    void stop();
    // Serves a socket that is already connected as if it had been accepted from `peer`; only while run()
    // is serving. Takes the socket over in every case.
    bool serveConnection(int socket, const sockaddr_in& peer);
    // True from when run() has started serving until it stops.
    bool serving() const { return daemon_ != nullptr; }

    int port() const { return options_.port; }
    // Held by every request while it works on the database.
    FairMutex& databaseMutex() { return dbMutex_; }

    // Largest request body accepted (form posts of the pages are far smaller).
    static constexpr size_t kMaxBody = 64 * 1024;
    // Largest form body and request target: a page's form or link is never near these.
    static constexpr size_t kMaxFormBody = 8 * 1024;
    static constexpr size_t kMaxTarget = 8 * 1024;
    // Connections waiting to be accepted.
    static constexpr int kBacklog = 1024;
    // Open connections from one address (a browser opens up to six).
    static constexpr unsigned kConnectionsPerAddress = 16;
    // Time for a whole request to arrive, from when the connection is ready for it; shorter while more
    // than half the connections the server keeps are open.
    static constexpr std::chrono::seconds kRequestDeadline{10};
    static constexpr std::chrono::seconds kCrowdedRequestDeadline{2};
    // An idle connection (also a keep-alive one between requests) is closed after this many seconds.
    static constexpr unsigned kIdleSeconds = 5;
    // Requests in flight at stop() get this long to be answered.
    static constexpr std::chrono::seconds kDrainTime{3};

private:
    struct Exchange;
    struct Connection;
    struct Callbacks;

    // The answer to a whole request (head and body).
    PageResponse respond(MHD_Connection* connection, std::string_view method, const Exchange& exchange);
    // Hands the answer to the library; false when it could not be queued.
    bool answer(MHD_Connection* connection, Exchange& exchange, const PageResponse& page);
    void startRequest();
    // Counts the request out of those in flight, once.
    void finishRequest(Exchange& exchange);
    void waitForRequestsInFlight();

    LanServerOptions options_;
    FairMutex dbMutex_;
    PhonePages pages_;
    QByteArray staticBody_;
    RequestDeadlines deadlines_;
    int listenSocket_ = -1;
    std::atomic<MHD_Daemon*> daemon_{nullptr};

    std::mutex stateMutex_;
    std::condition_variable stopAsked_;
    std::condition_variable drained_;
    bool stopRequested_ = false;
    std::atomic<int> requestsInFlight_{0};
    std::atomic<bool> stopping_{false};
};

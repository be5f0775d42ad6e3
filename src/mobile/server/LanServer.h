#pragma once

#include "mobile/server/PhonePages.h"

#include "mobile/server/FairMutex.h"
#include <QByteArray>
#include <QString>
#include <memory>

#include <mutex>

class Database;
namespace httplib {
class Server;
}

struct LanServerOptions {
    QString dataFolder;
    QString host = QStringLiteral("0.0.0.0"); // every IPv4 interface
    int port = 8212;
    int threads = 64; // one per keep-alive connection of a busy evening; requests share one database lock
    // Test and benchmark only: a file served unchanged at /bench/static.html, to compare a page that needs
    // no database work with the real pages on the same server.
    QString staticCopy;
};

// The HTTP side of Lanserve: the seven pages under /phone/ and nothing else. No file is ever served from
// the data folder by path, so the database, backups and logs beside the pages cannot be fetched.
class LanServer {
public:
    LanServer(Database& db, LanServerOptions options);
    ~LanServer();

    // Binds the listening socket; false when the address or port cannot be used.
    bool bind();
    // Serves until stop(); requests in flight are finished before it returns.
    void run();
    // Safe to call from another thread.
    void stop();
    int port() const { return options_.port; }
    // Held by every request while it works on the database.
    FairMutex& databaseMutex() { return dbMutex_; }

    // Largest request body accepted (form posts of the pages are far smaller).
    static constexpr size_t kMaxBody = 64 * 1024;
    // Connections waiting to be accepted.
    static constexpr int kBacklog = 128;

private:
    void route();

    LanServerOptions options_;
    FairMutex dbMutex_;
    PhonePages pages_;
    QByteArray staticBody_;
    std::unique_ptr<httplib::Server> server_;
};

#include "stats/BackgroundReader.h"

#include <QMetaObject>

std::unique_ptr<Database> OpenStatsConnection(const Database& db) {
    auto connection = db.connectAgain();
    if (!connection->isServer())
        connection->exec("PRAGMA cache_size = -32768;");
    return connection;
}

BackgroundReader::BackgroundReader(const Database& db) : source_(db) {}

BackgroundReader::~BackgroundReader() {
    if (thread_.joinable())
        thread_.join();
}

bool BackgroundReader::launch(std::function<void()> work) {
    if (busy_)
        return false;
    if (thread_.joinable())
        thread_.join();
    busy_ = true;
    thread_ = std::thread(std::move(work));
    return true;
}

Database& BackgroundReader::connection() {
    if (!db_)
        db_ = OpenStatsConnection(source_);
    return *db_;
}

void BackgroundReader::deliver(QObject* receiver, std::function<void()> call) {
    // busy_ is cleared on the receiver's thread just before the result is handed over, so a click that
    // follows the result can start the next computation.
    QMetaObject::invokeMethod(
        receiver,
        [this, call = std::move(call)] {
            busy_ = false;
            call();
        },
        Qt::QueuedConnection);
}

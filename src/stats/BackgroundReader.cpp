#include "stats/BackgroundReader.h"

#include <QMetaObject>

std::unique_ptr<Database> OpenStatsConnection(const QString& path, const QString& key) {
    auto db = std::make_unique<Database>(path, key);
    db->exec("PRAGMA cache_size = -32768;");
    return db;
}

BackgroundReader::BackgroundReader(QString path, QString key)
    : path_(std::move(path)), key_(std::move(key)) {}

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
        db_ = OpenStatsConnection(path_, key_);
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

#include "bill/ChangeFeed.h"

#include "bill/BillStore.h"
#include "store/Database.h"
#include "store/Log.h"

#include <QSocketNotifier>
#include <QTimer>

ChangeFeed::ChangeFeed(Database& db, QObject* parent) : QObject(parent), db_(db), timer_(new QTimer(this)) {
    connect(timer_, &QTimer::timeout, this, &ChangeFeed::look);
}

void ChangeFeed::start() {
    if (db_.isServer()) {
        try {
            db_.listen(BillStore::kTablesChannel);
        } catch (const StoreError& error) {
            Log::write(QStringLiteral("收不到其他收银台和手机的变化通知：") + error.text());
        }
        watchSocket();
    }
    try {
        lastVersion_ = db_.commitsByOthers();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("收不到其他收银台和手机的变化通知：") + error.text());
    }
    timer_->start(db_.isServer() ? kServerPollMs : kFilePollMs);
}

void ChangeFeed::stop() {
    timer_->stop();
    if (notices_)
        notices_->setEnabled(false);
}

void ChangeFeed::watchSocket() {
    if (notices_)
        notices_->deleteLater();
    notices_ = nullptr;
    const int socket = db_.notificationSocket();
    if (socket < 0)
        return;
    notices_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(notices_, &QSocketNotifier::activated, this, &ChangeFeed::takeNotices);
}

void ChangeFeed::takeNotices() {
    // Inside a step of this window the notices wait in the connection until the next look.
    if (db_.inTransaction())
        return;
    if (!db_.takeNotifications().isEmpty())
        Q_EMIT changed();
}

void ChangeFeed::look() {
    if (db_.inTransaction())
        return;
    qint64 version = lastVersion_;
    try {
        // On a server this query also brings a dropped connection back, with a socket of its own.
        version = db_.commitsByOthers();
    } catch (const StoreError& error) {
        Log::write(QStringLiteral("无法读取数据库的变化：") + error.text());
        return;
    }
    if (db_.isServer()) {
        if (!notices_ || notices_->socket() != db_.notificationSocket())
            watchSocket();
        takeNotices();
    }
    if (version != lastVersion_) {
        lastVersion_ = version;
        Q_EMIT changed();
    }
}

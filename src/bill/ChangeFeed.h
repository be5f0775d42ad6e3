#pragma once

#include <QObject>

class Database;
class QSocketNotifier;
class QTimer;

// Tells this counter that another writer (a phone through Lanserve, another counter, this program's own
// threads) has committed a change, so the tiles and the open bill can show the books as they stand. On the
// database file it watches SQLite's data version, which moves with every commit of another connection and
// costs no disk read; on a server it listens for the notices every bill step sends with its commit, and
// looks now and then in case a notice was lost with a dropped connection.
class ChangeFeed : public QObject {
    Q_OBJECT
public:
    explicit ChangeFeed(Database& db, QObject* parent = nullptr);

    void start();
    void stop();

    static constexpr int kFilePollMs = 100;
    static constexpr int kServerPollMs = 1500;

Q_SIGNALS:
    void changed();

private:
    void look();
    void takeNotices();
    void watchSocket();

    Database& db_;
    QTimer* timer_ = nullptr;
    QSocketNotifier* notices_ = nullptr;
    qint64 lastVersion_ = -1;
};

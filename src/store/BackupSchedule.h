#pragma once

#include "store/Backup.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <future>

class Database;
class QElapsedTimer;

// How often the backup is written while the program runs.
inline constexpr std::chrono::milliseconds kBackupInterval = std::chrono::hours(1);

// Writes the hour's backup every interval while the program runs, and the last one at its end, on a worker
// thread: the copy reads the file through a connection of its own (a server's through pg_dump), so neither
// the windows nor the live connection wait for it. Hourly results are reported on the thread that owns
// this object; the destructor waits for a backup under way.
class BackupSchedule : public QObject {
    Q_OBJECT
public:
    BackupSchedule(const Database& db, QString backupFolder, QObject* parent = nullptr);
    ~BackupSchedule() override;

    void start(std::chrono::milliseconds interval = kBackupInterval);
    // No more backups, and no more reports: after damage was found, nothing is copied over a good set.
    void stop();
    // The program's end: stops the hourly backups, waits for one under way, then writes this one. Until it
    // is done `waiting` is called on this thread every few dozen milliseconds (to keep a notice painted).
    BackupResult writeLast(const BackupProgressHook& waiting);

Q_SIGNALS:
    void written(const BackupResult& result); // an hourly backup ended, copied or not

private:
    void writeHourly();
    BackupResult backUp();
    void waitFor(const std::future<BackupResult>& backup, const BackupProgressHook& waiting,
                 const QElapsedTimer& clock);

    const Database& db_;
    QString backupFolder_;
    QTimer clock_;
    std::future<BackupResult> hourly_;
    std::atomic<qint64> bytesDone_ = 0;
    std::atomic<qint64> bytesTotal_ = 0;
};

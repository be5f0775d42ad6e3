#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class Database;

// The backup of a server database: pg_dump's custom format.
inline const QString kServerDumpFileName = QStringLiteral("数据库.dump");

// How many hourly backup sets stay after a shutdown.
inline constexpr int kBackupSetsKept = 20;

// What the shutdown backup did. A backup never stops the shutdown: failures are listed here and logged.
struct BackupResult {
    QString setFolder;       // backup folder + "/yyyy-MM-dd HH：00"
    QString file;            // the copy, setFolder + "/数据库.dat" (or "/数据库.dump" of a server)
    bool copied = false;     // the copy is complete and in place
    QStringList removedSets; // names of the older sets the rotation deleted
    QStringList failures;    // what did not work, as written to the log
};

// Progress of the copy, reported on the calling thread between copy steps.
struct BackupProgress {
    qint64 pagesDone = 0;
    qint64 pagesTotal = 0;
    qint64 elapsedMs = 0; // since the backup started
};
using BackupProgressHook = std::function<void(const BackupProgress&)>;

// Name of the set of the hour of `now`: "yyyy-MM-dd HH" and "：00" (full-width colon), e.g.
// "2024-12-12 18：00". The names sort in time order.
QString BackupSetName(const QDateTime& now);

// Writes the backup of the hour: creates the set's folder (and the backup folder on first use), copies the
// open database into it as 数据库.dat, replacing an earlier copy of the same hour, then deletes the oldest
// sets beyond kBackupSetsKept.
//
// The copy is read through the live connection with SQLite's online backup, inside one read transaction:
// it is the database as of one moment, changes still in the write-ahead log included, even while another
// process writes. It goes to a temporary file first, so an existing copy is only replaced by a complete
// one, and it opens with the program's database password. A server database is written by pg_dump instead.
BackupResult BackupDatabase(Database& db, const QString& backupFolder, const QDateTime& now,
                            const BackupProgressHook& progress = {});

// Deletes the oldest sets (by name) so that at most `keep` remain; folders not named like a set are left
// alone. Returns the names deleted; a set that cannot be deleted is added to `failures` and logged.
QStringList RotateBackupSets(const QString& backupFolder, int keep, QStringList& failures);

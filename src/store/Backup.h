#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class Database;

// The backup of a server database: pg_dump's custom format.
inline const QString kServerDumpFileName = QStringLiteral("数据库.dump");

// How many hourly backup sets stay after a backup, and for how many days before them the day's last set.
inline constexpr int kBackupSetsKept = 20;
inline constexpr int kDailySetsKept = 30;

// What a backup did. A backup never stops the program: failures are listed here and logged.
struct BackupResult {
    QString setFolder;          // backup folder + "/yyyy-MM-dd HH：00"
    QString file;               // the copy, setFolder + "/数据库.dat" (or "/数据库.dump" of a server)
    bool copied = false;        // the copy is complete, checked and in place
    QStringList removedSets;    // names of the older sets the rotation deleted
    QStringList failures;       // what did not work, as written to the log
    bool sourceDamaged = false; // the database file itself failed the check: nothing was written
    QString damageNotice;       // then what to tell the cashier (DamageNotice), else empty
};

// Progress of the copy, reported on the calling thread between copy steps and once more before the check
// of the copy.
struct BackupProgress {
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;
    qint64 elapsedMs = 0; // since the backup started
};
using BackupProgressHook = std::function<void(const BackupProgress&)>;

// Name of the set of the hour of `now`: "yyyy-MM-dd HH" and "：00" (full-width colon), e.g.
// "2024-12-12 18：00". The names sort in time order.
QString BackupSetName(const QDateTime& now);

// The names of the sets in the backup folder, oldest first; folders not named like a set are left out.
QStringList BackupSetNames(const QString& backupFolder);

// Writes the backup of the hour: creates the set's folder (and the backup folder on first use), copies the
// database into it as 数据库.dat, replacing an earlier copy of the same hour, then deletes the oldest sets
// RotateBackupSets no longer keeps. Only the live connection's path, kind and address are used, never the
// connection itself, so any thread may call this while the windows go on with the database.
//
// A file is copied byte for byte on a connection of its own, under a read transaction: that keeps
// checkpoints from rewriting pages of its moment and the write-ahead log from starting over while the file
// and then the log are copied, so the copy with its log is the database as of one moment (or a later one),
// even while other processes write. The copy then takes in its log, must open with the program's password
// and read its schema, and every page's seal must hold (the copy holds the source's bytes, so this checks
// the source too) before a rename puts it in place. A source that fails quick_check then is reported as
// damaged and replaces no copy. A server database is written by pg_dump instead.
BackupResult BackupDatabase(const Database& db, const QString& backupFolder, const QDateTime& now,
                            const BackupProgressHook& progress = {});

// Deletes the oldest sets (by name) so that `keep` remain, with the last set of each of the kDailySetsKept
// days before them; folders not named like a set are left
// alone. Returns the names deleted; a set that cannot be deleted is added to `failures` and logged.
QStringList RotateBackupSets(const QString& backupFolder, int keep, QStringList& failures);

#include "store/Backup.h"

#include "store/Database.h"
#include "store/EngineMessage.h"
#include "store/Log.h"
#include "store/PostgresEngine.h"
#include "store/ProgramDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Pages copied per step: small enough that the progress hook runs several times a second.
constexpr int kPagesPerStep = 2048;
// A step that finds the source busy is retried this often, 10 ms apart, before the copy is given up.
constexpr int kBusyRetries = 500;

QString quotedKey(const QString& key) {
    QString quoted = key;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void failed(BackupResult& result, const QString& what) {
    result.failures.append(what);
    Log::write(QStringLiteral("备份：") + what);
}

// The file the copy is written to, keyed like the program's database; closed on destruction.
class CopyTarget {
public:
    explicit CopyTarget(const QString& path) {
        const QByteArray file = path.toUtf8();
        if (sqlite3_open_v2(file.constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK)
            throw StoreError(QStringLiteral("无法建立备份文件 %1：%2").arg(path, EngineMessage(db_)));
        // The copy is private until it is renamed into place, so it needs neither a journal nor syncs of
        // its own; the finished file is synced once before the rename.
        exec(QStringLiteral("PRAGMA key = %1;").arg(quotedKey(DatabasePassword())).toUtf8());
        exec("PRAGMA journal_mode = OFF;");
        exec("PRAGMA synchronous = OFF;");
    }
    CopyTarget(const CopyTarget&) = delete;
    CopyTarget& operator=(const CopyTarget&) = delete;
    ~CopyTarget() { sqlite3_close_v2(db_); }

    sqlite3* handle() const { return db_; }

private:
    void exec(const QByteArray& sql) {
        if (sqlite3_exec(db_, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw StoreError(QStringLiteral("备份文件无法设置：%1").arg(EngineMessage(db_)));
    }

    sqlite3* db_ = nullptr;
};

// Holds a read transaction on the live connection, so every backup step reads the same snapshot: writes
// of other connections neither show up half-way nor make the copy start over.
class ReadSnapshot {
public:
    explicit ReadSnapshot(Database& db) : db_(db) {
        if (!sqlite3_get_autocommit(db.handle()))
            return; // already inside a transaction, which pins the snapshot itself
        db_.exec("BEGIN;");
        try {
            db_.exec("SELECT count(*) FROM sqlite_master;");
        } catch (const StoreError&) {
            sqlite3_exec(db_.handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
            throw;
        }
        own_ = true;
    }
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;
    ~ReadSnapshot() {
        if (own_)
            sqlite3_exec(db_.handle(), "COMMIT;", nullptr, nullptr, nullptr);
    }

private:
    Database& db_;
    bool own_ = false;
};

void copyPages(Database& db, sqlite3* target, const BackupProgressHook& progress) {
    QElapsedTimer clock;
    clock.start();
    const ReadSnapshot snapshot(db);
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", db.handle(), "main");
    if (!backup)
        throw StoreError(QStringLiteral("数据库无法备份：%1").arg(EngineMessage(target)));
    int rc = SQLITE_OK;
    int busyLeft = kBusyRetries;
    while (true) {
        rc = sqlite3_backup_step(backup, kPagesPerStep);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (--busyLeft < 0)
                break;
            QThread::msleep(10);
            continue;
        }
        if (rc != SQLITE_OK && rc != SQLITE_DONE)
            break;
        if (progress) {
            const qint64 total = sqlite3_backup_pagecount(backup);
            progress({total - sqlite3_backup_remaining(backup), total, clock.elapsed()});
        }
        if (rc == SQLITE_DONE)
            break;
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw StoreError(QStringLiteral("数据库备份中断：%1").arg(EngineCodeMessage(rc)));
}

bool syncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

void removeCopyFiles(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

// A server database is dumped by PostgreSQL's own tool, in its custom format (pg_restore reads it back).
// The password goes through the environment, never the command line other users can see.
void dumpServerDatabase(const Database& db, const QString& file) {
    const std::optional<store_engine::ToolConnection> connection =
        store_engine::SplitServerPassword(db.serverAddress());
    if (!connection)
        throw StoreError(QStringLiteral("数据库备份无法开始：服务器地址 %1 无法读取").arg(db.path()));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!connection->password.isEmpty())
        environment.insert(QStringLiteral("PGPASSWORD"), connection->password);
    QProcess dump;
    dump.setProcessEnvironment(environment);
    dump.start(QStringLiteral("pg_dump"),
               {QStringLiteral("--format=custom"), QStringLiteral("--file=") + file,
                QStringLiteral("--dbname=") + connection->words});
    if (!dump.waitForStarted(10'000))
        throw StoreError(QStringLiteral("数据库备份无法开始：找不到 pg_dump（请安装 postgresql-client）"));
    if (!dump.waitForFinished(30 * 60 * 1000) || dump.exitStatus() != QProcess::NormalExit ||
        dump.exitCode() != 0)
        throw StoreError(QStringLiteral("数据库备份失败：%1")
                             .arg(QString::fromLocal8Bit(dump.readAllStandardError()).trimmed()));
}

// Copies the database into `file` through a temporary file beside it; the rename replaces an earlier copy
// only once the new one is complete and on disk.
void copyDatabase(Database& db, const QString& file, const BackupProgressHook& progress) {
    const QString partial = file + QStringLiteral(".partial");
    removeCopyFiles(partial);
    try {
        if (db.isServer()) {
            dumpServerDatabase(db, partial);
        } else {
            CopyTarget target(partial);
            copyPages(db, target.handle(), progress);
        }
        if (!syncPath(partial, O_RDWR))
            throw StoreError(QStringLiteral("备份文件无法写入磁盘：%1").arg(partial));
        if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(file).constData()) != 0)
            throw StoreError(QStringLiteral("备份文件无法改名为 %1").arg(file));
    } catch (...) {
        removeCopyFiles(partial);
        throw;
    }
    syncPath(QFileInfo(file).absolutePath(), O_RDONLY | O_DIRECTORY);
}

bool isSetName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}\uFF1A00$"));
    return pattern.match(name).hasMatch();
}

} // namespace

QString BackupSetName(const QDateTime& now) {
    return now.toString(QStringLiteral("yyyy-MM-dd HH")) + QStringLiteral("\uFF1A00");
}

QStringList RotateBackupSets(const QString& backupFolder, int keep, QStringList& failures) {
    QStringList sets = QDir(backupFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    sets.erase(std::remove_if(sets.begin(), sets.end(), [](const QString& name) { return !isSetName(name); }),
               sets.end());
    std::sort(sets.begin(), sets.end());
    QStringList removed;
    for (qsizetype i = 0; i + keep < sets.size(); ++i) {
        const QString path = backupFolder + QLatin1Char('/') + sets.at(i);
        if (QDir(path).removeRecursively()) {
            removed.append(sets.at(i));
        } else {
            const QString what = QStringLiteral("旧备份 %1 无法删除").arg(path);
            failures.append(what);
            Log::write(QStringLiteral("备份：") + what);
        }
    }
    return removed;
}

BackupResult BackupDatabase(Database& db, const QString& backupFolder, const QDateTime& now,
                            const BackupProgressHook& progress) {
    BackupResult result;
    result.setFolder = QDir::cleanPath(backupFolder + QLatin1Char('/') + BackupSetName(now));
    result.file =
        result.setFolder + QLatin1Char('/') + (db.isServer() ? kServerDumpFileName : kDatabaseFileName);

    const bool created = CreateFolderPath(result.setFolder);
    // Copies of the restaurant's data are the owner's alone, in folders made before this rule too.
    MakePrivate(backupFolder);
    MakePrivate(result.setFolder);
    if (!created) {
        failed(result, QStringLiteral("备份文件夹 %1 无法建立").arg(result.setFolder));
    } else {
        try {
            copyDatabase(db, result.file, progress);
            MakePrivate(result.file);
            result.copied = true;
        } catch (const StoreError& error) {
            failed(result, error.text());
        }
    }
    // A set that holds no copy must not push a good older set out of the rotation. rmdir only removes an
    // empty folder, so an earlier copy of this hour stays.
    if (!result.copied)
        QDir().rmdir(result.setFolder);
    result.removedSets = RotateBackupSets(backupFolder, kBackupSetsKept, result.failures);
    return result;
}

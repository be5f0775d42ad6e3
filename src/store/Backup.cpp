#include "store/Backup.h"

#include "store/Database.h"
#include "store/Integrity.h"
#include "store/Log.h"
#include "store/PostgresEngine.h"
#include "store/ProgramDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Bytes copied per step: the progress hook runs a few hundred times for a large database.
constexpr size_t kBytesPerStep = 1 << 20;

// A failure while reading the source or checking its copy: the source itself may be damaged.
class UnreadableSource : public StoreError {
public:
    using StoreError::StoreError;
};

void failed(BackupResult& result, const QString& what) {
    result.failures.append(what);
    Log::write(QStringLiteral("备份：") + what);
}

QString systemError(int error) {
    if (error == ENOSPC || error == EDQUOT)
        return QStringLiteral("磁盘空间已满");
    return QString::fromLocal8Bit(std::strerror(error));
}

// A file descriptor, closed on destruction.
class Descriptor {
public:
    Descriptor(const QString& path, int flags)
        : fd_(::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0600)) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Closing is where some file systems report a failed write.
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

void writeAll(int fd, const char* data, ssize_t size, const QString& path) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            throw StoreError(QStringLiteral("备份文件 %1 无法写入：%2").arg(path, systemError(errno)));
        data += written;
        size -= written;
    }
}

// Copies the file at `from` as it is now, step by step; the kernel copies when the file system lets it,
// which saves passing every byte through this process. Returns the bytes copied.
qint64 copyFile(const QString& from, const QString& to, const std::function<void(qint64)>& afterStep) {
    const Descriptor source(from, O_RDONLY);
    if (!source.isOpen())
        throw UnreadableSource(QStringLiteral("数据库文件 %1 无法读取：%2").arg(from, systemError(errno)));
    Descriptor target(to, O_WRONLY | O_CREAT | O_TRUNC);
    if (!target.isOpen())
        throw StoreError(QStringLiteral("无法建立备份文件 %1：%2").arg(to, systemError(errno)));
    qint64 copied = 0;
    bool inKernel = true;
    std::vector<char> buffer;
    while (true) {
        ssize_t step = 0;
        if (inKernel) {
            step = ::copy_file_range(source.get(), nullptr, target.get(), nullptr, kBytesPerStep, 0);
            if (step < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                inKernel = false;
                continue;
            }
        } else {
            buffer.resize(kBytesPerStep);
            step = ::read(source.get(), buffer.data(), buffer.size());
            if (step > 0)
                writeAll(target.get(), buffer.data(), step, to);
        }
        if (step < 0 && errno == EINTR)
            continue;
        if (step < 0)
            throw StoreError(QStringLiteral("备份文件 %1 无法写入：%2").arg(to, systemError(errno)));
        if (step == 0)
            break;
        copied += step;
        afterStep(copied);
    }
    if (!target.close())
        throw StoreError(QStringLiteral("备份文件 %1 无法写入：%2").arg(to, systemError(errno)));
    return copied;
}

// Copies the database file and then its write-ahead log while a read transaction of a connection of its
// own pins one moment: checkpoints move no page of a later moment into the file, and the log is not
// started over, so the copied log holds every page the copied file may lack. The copy then takes in its
// log and is checked.
void copyDatabaseFile(const QString& source, const QString& partial, const BackupProgressHook& progress,
                      const QElapsedTimer& clock) {
    const QString log = source + QStringLiteral("-wal");
    {
        KeyedFile snapshot(source);
        try {
            snapshot.exec("BEGIN;");
            snapshot.exec("SELECT count(*) FROM sqlite_master;");
        } catch (const StoreError& error) {
            throw UnreadableSource(QStringLiteral("数据库文件无法读取：%1").arg(error.text()));
        }
        const qint64 total = QFileInfo(source).size() + QFileInfo(log).size();
        qint64 before = 0;
        const auto report = [&](qint64 done) {
            if (progress)
                progress({before + done, std::max(total, before + done), clock.elapsed()});
        };
        before = copyFile(source, partial, report);
        if (QFileInfo::exists(log))
            copyFile(log, partial + QStringLiteral("-wal"), report);
    }
    try {
        KeyedFile copy(partial);
        // The copy is private until it is renamed into place: no syncs of its own, one at the end.
        copy.exec("PRAGMA synchronous = OFF;");
        // The log's transactions go into the copy, which becomes one file with nothing beside it.
        if (copy.answer("PRAGMA journal_mode = DELETE;") != QStringLiteral("delete"))
            throw StoreError(QStringLiteral("备份文件的日志无法并入"));
        // It opens with the key and its schema reads.
        copy.exec("SELECT count(*) FROM sqlite_master;");
    } catch (const StoreError& error) {
        throw UnreadableSource(error.text());
    }
    // The copy holds the source's bytes, so every page's seal holding is the source's check too.
    const IntegrityReport check = CheckSeals(partial);
    if (!check.sound())
        throw UnreadableSource(check.detail);
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
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
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
// only once the new one is complete, checked and on disk.
void copyDatabase(const Database& db, const QString& file, const BackupProgressHook& progress) {
    const QString partial = file + QStringLiteral(".partial");
    removeCopyFiles(partial);
    QElapsedTimer clock;
    clock.start();
    try {
        if (db.isServer())
            dumpServerDatabase(db, partial);
        else
            copyDatabaseFile(db.path(), partial, progress, clock);
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

QStringList BackupSetNames(const QString& backupFolder) {
    QStringList sets = QDir(backupFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    sets.erase(std::remove_if(sets.begin(), sets.end(), [](const QString& name) { return !isSetName(name); }),
               sets.end());
    std::sort(sets.begin(), sets.end());
    return sets;
}

QStringList RotateBackupSets(const QString& backupFolder, int keep, QStringList& failures) {
    const QStringList sets = BackupSetNames(backupFolder);
    // Beyond the newest `keep`, the last set of each earlier day stays for kDailySetsKept days, so damage
    // found days later still has a sound copy to go back to.
    QSet<QString> daysSeen;
    int daysKept = 0;
    QStringList removed;
    for (qsizetype i = sets.size() - 1; i >= 0; --i) {
        const bool lastOfItsDay = !daysSeen.contains(sets.at(i).left(10));
        daysSeen.insert(sets.at(i).left(10));
        if (sets.size() - i <= keep)
            continue;
        if (lastOfItsDay && daysKept < kDailySetsKept) {
            ++daysKept;
            continue;
        }
        const QString path = backupFolder + QLatin1Char('/') + sets.at(i);
        if (QDir(path).removeRecursively()) {
            removed.prepend(sets.at(i));
        } else {
            const QString what = QStringLiteral("旧备份 %1 无法删除").arg(path);
            failures.append(what);
            Log::write(QStringLiteral("备份：") + what);
        }
    }
    return removed;
}

BackupResult BackupDatabase(const Database& db, const QString& backupFolder, const QDateTime& now,
                            const BackupProgressHook& progress) {
    BackupResult result;
    result.setFolder = QDir::cleanPath(backupFolder + QLatin1Char('/') + BackupSetName(now));
    result.file =
        result.setFolder + QLatin1Char('/') + (db.isServer() ? kServerDumpFileName : kDatabaseFileName);

    const bool created = CreateFolderPath(result.setFolder);
    // Copies of the restaurant's data are the owner's alone, in folders made before this rule too.
    MakePrivate(backupFolder);
    MakePrivate(result.setFolder);
    IntegrityReport source;
    if (!created) {
        failed(result, QStringLiteral("备份文件夹 %1 无法建立").arg(result.setFolder));
    } else {
        try {
            copyDatabase(db, result.file, progress);
            MakePrivate(result.file);
            result.copied = true;
        } catch (const UnreadableSource& error) {
            // Only a second look at the source itself tells its damage from a copy gone wrong.
            source = CheckDatabaseFile(db.path());
            result.sourceDamaged = source.damaged();
            failed(
                result,
                result.sourceDamaged
                    ? QStringLiteral("数据库文件已损坏，没有备份，已有的备份保持不变：%1").arg(source.detail)
                    : QStringLiteral("备份副本没有通过检查：%1").arg(error.text()));
        } catch (const StoreError& error) {
            failed(result, error.text());
        }
    }
    // A set that holds no copy must not push a good older set out of the rotation. rmdir only removes an
    // empty folder, so an earlier copy of this hour stays.
    if (!result.copied)
        QDir().rmdir(result.setFolder);
    result.removedSets = RotateBackupSets(backupFolder, kBackupSetsKept, result.failures);
    if (result.sourceDamaged)
        result.damageNotice = DamageNotice(db.path(), source, backupFolder);
    return result;
}

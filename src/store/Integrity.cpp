#include "store/Integrity.h"

#include "store/Backup.h"
#include "store/EngineMessage.h"
#include "store/Log.h"
#include "store/PageSeals.h"
#include "store/ProgramDatabase.h"
#include "store/StoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>

namespace {

// How many findings quick_check lists before it stops; the first is enough to tell the cashier.
constexpr int kFindingsListed = 10;
// The engine's findings are technical; the notice shows only their start.
constexpr int kDetailShown = 160;

QString quotedKey(const QString& key) {
    QString quoted = key;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// A failure that says nothing about the pages (another program holds the file, the check was stopped)
// leaves the file unchecked; every other failure to read it is damage.
IntegrityReport::State stateAfterFailure(int code) {
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_INTERRUPT:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_FULL:
        return IntegrityReport::State::Unchecked;
    default:
        return IntegrityReport::State::Damaged;
    }
}

QString shortened(const QString& text) {
    return text.size() <= kDetailShown ? text : text.left(kDetailShown) + QStringLiteral("…");
}

} // namespace

KeyedFile::KeyedFile(const QString& path) {
    // Read-write without create: a read-only connection cannot open a file in WAL mode whose log is gone,
    // and a missing file must not be made.
    const QByteArray file = QFile::encodeName(path);
    if (sqlite3_open_v2(file.constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        const QString message = EngineMessage(db_);
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreError(QStringLiteral("无法打开数据库文件 %1：%2").arg(path, message));
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 5000);
    const QString rawKey = RememberedRawKey(path, DatabasePassword());
    try {
        exec(QStringLiteral("PRAGMA key = %1;")
                 .arg(quotedKey(rawKey.isEmpty() ? DatabasePassword() : rawKey))
                 .toUtf8()
                 .constData());
    } catch (const StoreError&) {
        sqlite3_close_v2(db_);
        throw;
    }
}

KeyedFile::~KeyedFile() {
    sqlite3_close_v2(db_);
}

void KeyedFile::exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw StoreError(EngineMessage(db_));
}

QString KeyedFile::answer(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK)
        throw StoreError(EngineMessage(db_));
    const int rc = sqlite3_step(statement);
    const QString word =
        rc == SQLITE_ROW ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)))
                         : QString();
    const QString message = EngineMessage(db_);
    sqlite3_finalize(statement);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw StoreError(message);
    return word;
}

IntegrityReport CheckOpenFile(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = "PRAGMA quick_check(" + QByteArray::number(kFindingsListed) + ")";
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        return {stateAfterFailure(sqlite3_extended_errcode(db)), EngineMessage(db)};
    QStringList findings;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
        findings.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))));
    const IntegrityReport failure{stateAfterFailure(sqlite3_extended_errcode(db)), EngineMessage(db)};
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        return failure;
    if (findings == QStringList{QStringLiteral("ok")})
        return {IntegrityReport::State::Sound, {}};
    return {IntegrityReport::State::Damaged, findings.join(QStringLiteral("; "))};
}

IntegrityReport CheckDatabaseFile(const QString& path) {
    if (!QFileInfo(path).isFile())
        return {IntegrityReport::State::Unchecked, QStringLiteral("文件 %1 不存在").arg(path)};
    try {
        const KeyedFile file(path);
        return CheckOpenFile(file.handle());
    } catch (const StoreError& error) {
        return {IntegrityReport::State::Unchecked, error.text()};
    }
}

IntegrityReport CheckSeals(const QString& path) {
    const SealCheck seals = CheckPageSeals(path, DatabasePassword());
    switch (seals.state) {
    case SealCheck::State::Sound:
        return {IntegrityReport::State::Sound, {}};
    case SealCheck::State::Damaged:
        return {IntegrityReport::State::Damaged,
                QStringLiteral("第 %1 页（共 %2 页）的内容与校验码不符").arg(seals.badPage).arg(seals.pages)};
    case SealCheck::State::Unknown:
        break;
    }
    return CheckDatabaseFile(path);
}

IntegrityReport CheckQuietFile(const QString& path) {
    if (!QFileInfo(path).isFile())
        return {IntegrityReport::State::Unchecked, QStringLiteral("文件 %1 不存在").arg(path)};
    try {
        KeyedFile file(path);
        if (sqlite3_exec(file.handle(), "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) !=
            SQLITE_OK)
            return {stateAfterFailure(sqlite3_extended_errcode(file.handle())), EngineMessage(file.handle())};
    } catch (const StoreError& error) {
        return {IntegrityReport::State::Unchecked, error.text()};
    }
    return CheckSeals(path);
}

QString LastSoundBackup(const QString& backupFolder) {
    QStringList sets = BackupSetNames(backupFolder);
    std::reverse(sets.begin(), sets.end());
    for (const QString& set : sets) {
        const QString copy = backupFolder + QLatin1Char('/') + set + QLatin1Char('/') + kDatabaseFileName;
        if (QFileInfo(copy).isFile() && CheckQuietFile(copy).sound())
            return QDir::cleanPath(copy);
    }
    return {};
}

QString DamageNotice(const QString& databasePath, const IntegrityReport& report,
                     const QString& backupFolder) {
    const QString dataFolder = QFileInfo(databasePath).absolutePath();
    QString notice =
        QStringLiteral("数据库文件 %1 已损坏（%2）。\n\n"
                       "损坏的文件原样留在数据文件夹里，本软件不再写入它，也不会用它覆盖任何备份。")
            .arg(databasePath, shortened(report.detail));
    const QString backup = LastSoundBackup(backupFolder);
    if (backup.isEmpty())
        return notice + QStringLiteral("\n\n备份文件夹 %1 中没有完好的备份。请不要删除或改动这个文件，"
                                       "带着它联系软件的供应商。")
                            .arg(backupFolder);
    return notice +
           QStringLiteral("\n\n最近一份完好的备份是：\n%1\n\n"
                          "恢复方法：退出软件，把数据文件夹 %2 中的 数据库.dat 改名为 数据库-损坏.dat "
                          "留作保险（数据库.dat-wal、数据库.dat-shm 一起移走），再把上面这份备份"
                          "复制到数据文件夹，然后重新启动软件。这份备份之后录入的账单需要重新录入。"
                          "详见操作教程“从备份恢复”。")
               .arg(backup, dataFolder);
}

BackgroundCheck::BackgroundCheck(QString databasePath, QString backupFolder, QObject* parent)
    : QObject(parent), databasePath_(std::move(databasePath)), backupFolder_(std::move(backupFolder)) {}

BackgroundCheck::~BackgroundCheck() {
    if (running_.valid())
        running_.wait();
}

void BackgroundCheck::start() {
    if (running_.valid())
        return;
    running_ = std::async(std::launch::async, [this, path = databasePath_, backups = backupFolder_] {
        // The pages whose seals hold now need not be sealed again by the backups' checks of their copies.
        CheckPageSeals(path, DatabasePassword());
        const IntegrityReport report = CheckDatabaseFile(path);
        if (report.state == IntegrityReport::State::Unchecked)
            Log::write(QStringLiteral("数据库文件没有检查：") + report.detail);
        if (!report.damaged())
            return;
        Log::write(QStringLiteral("数据库文件已损坏：") + report.detail);
        const QString notice = DamageNotice(path, report, backups);
        // Delivered only while this object lives; the destructor waits for this thread first.
        QMetaObject::invokeMethod(
            this, [this, notice] { Q_EMIT damageFound(notice); }, Qt::QueuedConnection);
    });
}

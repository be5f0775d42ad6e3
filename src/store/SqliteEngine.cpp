#include "store/SqliteEngine.h"

#include "store/EngineMessage.h"
#include "store/StoreError.h"

#include <array>
#include <atomic>
#include <chrono>
#include <optional>
#include <sqlite3.h>

namespace store_engine {
namespace {

// cj_now_ms(): the clock claims expire by, in milliseconds since the epoch. A server has its own.
void nowInMilliseconds(sqlite3_context* context, int, sqlite3_value**) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    sqlite3_result_int64(context, std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// Quotes a key for PRAGMA key, which takes no bound parameters.
QString quotedKey(const QString& key) {
    QString quoted = key;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// The WAL index header (sqlite.org/walformat.html): 48 bytes at the start of the shared memory beside the
// database, kept twice. A writer puts a new header in copy 1, then in copy 0; a reader that finds the two
// copies equal, read in the other order, holds a whole header.
using WalIndexHeader = std::array<unsigned char, 48>;
constexpr int kWalIndexRegion = 32768;
constexpr std::size_t kHeaderIsInit = 12;

std::optional<WalIndexHeader> readWalIndexHeader(const volatile unsigned char* shared) {
    WalIndexHeader first{};
    WalIndexHeader second{};
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = shared[i];
    std::atomic_thread_fence(std::memory_order_seq_cst);
    for (std::size_t i = 0; i < second.size(); ++i)
        second[i] = shared[second.size() + i];
    if (first != second || first[kHeaderIsInit] == 0)
        return std::nullopt; // a writer is changing it
    return first;
}

class SqliteStatement final : public PreparedStatement {
public:
    SqliteStatement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            throw StoreError(QStringLiteral("数据库语句无法执行：%1").arg(EngineMessage(db)));
    }
    ~SqliteStatement() override { sqlite3_finalize(stmt_); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void bindText(int index, const QString& value) override {
        const QByteArray utf8 = value.toUtf8();
        check(sqlite3_bind_text(stmt_, index, utf8.constData(), static_cast<int>(utf8.size()),
                                SQLITE_TRANSIENT));
    }
    void bindInteger(int index, qint64 value) override { check(sqlite3_bind_int64(stmt_, index, value)); }
    void bindNull(int index) override { check(sqlite3_bind_null(stmt_, index)); }

    bool next() override {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        const QString message = EngineMessage(db_);
        sqlite3_reset(stmt_);
        throw StoreError(QStringLiteral("数据库读写失败：%1").arg(message));
    }
    void finish() override { sqlite3_reset(stmt_); }
    void reset() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    QString text(int column) const override {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return data ? QString::fromUtf8(data, sqlite3_column_bytes(stmt_, column)) : QString();
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(stmt_, column); }
    bool isNull(int column) const override { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    int columnCount() const override { return sqlite3_column_count(stmt_); }
    QString columnName(int column) const override {
        return QString::fromUtf8(sqlite3_column_name(stmt_, column));
    }

private:
    void check(int rc) const {
        if (rc != SQLITE_OK)
            throw StoreError(QStringLiteral("数据库参数无法设置：%1").arg(EngineMessage(db_)));
    }

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class SqliteConnection final : public Connection {
public:
    explicit SqliteConnection(sqlite3* db) : db_(db) {}
    ~SqliteConnection() override {
        sqlite3_finalize(dataVersion_);
        sqlite3_close_v2(db_);
    }
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    std::unique_ptr<PreparedStatement> prepare(const char* sql) override {
        return std::make_unique<SqliteStatement>(db_, sql);
    }
    void exec(const char* sql) override {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
            // The engine's message for the failure is also the connection's last error, which
            // EngineMessage explains.
            sqlite3_free(message);
            throw StoreError(EngineMessage(db_));
        }
    }
    void beginWrite() override { exec("BEGIN IMMEDIATE;"); }
    void beginRead() override { exec("BEGIN;"); }
    bool inTransaction() const override { return sqlite3_get_autocommit(db_) == 0; }
    qint64 changes() const override { return sqlite3_changes(db_); }
    qint64 ownChanges() const override { return sqlite3_total_changes(db_); }
    // Asked on every phone page. The engine moves the version only when a read finds the WAL index header
    // changed since this connection last looked; while the header is byte for byte the one seen just
    // before the last reading, no commit can have come since, and the reading (shared-memory locks, a few
    // system calls) is skipped.
    qint64 commitsByOthers() override {
        const std::optional<WalIndexHeader> header = walIndexHeader();
        if (header && header == versionHeader_)
            return version_;
        version_ = readDataVersion();
        versionHeader_ = version_ >= 0 ? header : std::nullopt;
        if (!walIndexLooked_)
            lookUpWalIndex();
        return version_;
    }
    int userVersion() override { return static_cast<int>(pragmaNumber("PRAGMA user_version")); }
    void setUserVersion(int version) override {
        exec(("PRAGMA user_version = " + QByteArray::number(version) + ";").constData());
    }
    QString lastError() const override { return EngineMessage(db_); }
    bool holdsNoTables() override {
        return pragmaNumber("SELECT count(*) FROM sqlite_master WHERE type = 'table'") == 0;
    }
    sqlite3* sqliteHandle() const override { return db_; }

private:
    // Prepared once, and reset at once so it never holds up a checkpoint.
    qint64 readDataVersion() {
        if (!dataVersion_ &&
            sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &dataVersion_, nullptr) != SQLITE_OK)
            return -1;
        const qint64 version =
            sqlite3_step(dataVersion_) == SQLITE_ROW ? sqlite3_column_int64(dataVersion_, 0) : -1;
        sqlite3_reset(dataVersion_);
        return version;
    }

    // The header as this connection's map of the WAL index shows it now; nullopt without a map, while a
    // writer is changing it, or when the connection no longer has the WAL the map belongs to.
    std::optional<WalIndexHeader> walIndexHeader() const {
        if (!walIndex_ || journalFile() != walFile_)
            return std::nullopt;
        return readWalIndexHeader(walIndex_);
    }

    sqlite3_file* journalFile() const {
        sqlite3_file* file = nullptr;
        return sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &file) == SQLITE_OK ? file
                                                                                                   : nullptr;
    }

    // Once, after a reading: in WAL mode that reading has mapped the index's first region, which stays
    // mapped while the connection keeps its WAL. Asking for it without extending creates nothing.
    void lookUpWalIndex() {
        walIndexLooked_ = true;
        if (pragmaText("PRAGMA journal_mode") != "wal")
            return;
        sqlite3_file* file = nullptr;
        if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
            !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap)
            return;
        sqlite3_mutex* mutex = sqlite3_db_mutex(db_);
        sqlite3_mutex_enter(mutex);
        void volatile* region = nullptr;
        const bool mapped = file->pMethods->xShmMap(file, 0, kWalIndexRegion, 0, &region) == SQLITE_OK;
        sqlite3_mutex_leave(mutex);
        if (!mapped || !region)
            return;
        walIndex_ = static_cast<const volatile unsigned char*>(region);
        walFile_ = journalFile();
    }

    QByteArray pragmaText(const char* sql) {
        SqliteStatement query(db_, sql);
        const QByteArray value = query.next() ? query.text(0).toLatin1().toLower() : QByteArray();
        query.finish();
        return value;
    }

    qint64 pragmaNumber(const char* sql) {
        SqliteStatement query(db_, sql);
        const qint64 value = query.next() ? query.integer(0) : 0;
        query.finish();
        return value;
    }

    sqlite3* db_;
    sqlite3_stmt* dataVersion_ = nullptr;
    qint64 version_ = -1;
    std::optional<WalIndexHeader> versionHeader_; // seen just before the reading of version_
    bool walIndexLooked_ = false;
    const volatile unsigned char* walIndex_ = nullptr;
    sqlite3_file* walFile_ = nullptr;
};

} // namespace

std::unique_ptr<Connection> OpenSqliteFile(const QString& path, const QString& key) {
    sqlite3* db = nullptr;
    const QByteArray file = path.toUtf8();
    if (sqlite3_open_v2(file.constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        const QString message = EngineMessage(db);
        sqlite3_close(db);
        throw StoreError(QStringLiteral("无法打开数据库文件 %1：%2").arg(path, message));
    }
    auto connection = std::make_unique<SqliteConnection>(db);
    sqlite3_busy_timeout(db, 5000);
    if (sqlite3_create_function_v2(db, "cj_now_ms", 0, SQLITE_UTF8, nullptr, &nowInMilliseconds, nullptr,
                                   nullptr, nullptr) != SQLITE_OK)
        throw StoreError(QStringLiteral("数据库文件 %1 无法打开：%2").arg(path, EngineMessage(db)));
    sqlite3_extended_result_codes(db, 1);
    // The engine falls back to reading when the file or its file system refuses writing; a cashier that
    // could not store an order must not start as if it could.
    if (sqlite3_db_readonly(db, "main") == 1)
        throw StoreError(
            QStringLiteral("数据库文件 %1 只读，无法保存点菜：请检查数据文件夹及所在磁盘的写入权限。")
                .arg(path));
    try {
        connection->exec(QStringLiteral("PRAGMA key = %1;").arg(quotedKey(key)).toUtf8().constData());
        // Reading the schema is the first access that needs the key; a wrong key or a foreign file fails
        // here.
        connection->exec("SELECT count(*) FROM sqlite_master;");
        connection->exec("PRAGMA journal_mode = WAL;");
        connection->exec("PRAGMA synchronous = FULL;");
        // Every page read is decrypted; a larger cache keeps the pages of recent queries.
        connection->exec("PRAGMA cache_size = -32768;");
        connection->exec("PRAGMA foreign_keys = OFF;");
    } catch (const StoreError& error) {
        const int code = sqlite3_errcode(db) & 0xff;
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
            throw StoreError(
                QStringLiteral("数据库文件 %1 无法读取（密码不对、文件损坏或不是本软件的数据库）：%2")
                    .arg(path, error.text()));
        throw StoreError(QStringLiteral("数据库文件 %1 无法打开：%2").arg(path, error.text()));
    }
    return connection;
}

} // namespace store_engine

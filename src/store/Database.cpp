#include "store/Database.h"

#include "store/EngineMessage.h"

#include <sqlite3.h>

namespace {

// Quotes a key for PRAGMA key, which takes no bound parameters.
QString quotedKey(const QString& key) {
    QString quoted = key;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

Database::Database(const QString& path, const QString& key) : path_(path) {
    const QByteArray file = path.toUtf8();
    if (sqlite3_open_v2(file.constData(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        const QString message = EngineMessage(db_);
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreError(QStringLiteral("无法打开数据库文件 %1：%2").arg(path, message));
    }
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_extended_result_codes(db_, 1);
    // The engine falls back to reading when the file or its file system refuses writing; a cashier that
    // could not store an order must not start as if it could.
    if (sqlite3_db_readonly(db_, "main") == 1) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreError(
            QStringLiteral("数据库文件 %1 只读，无法保存点菜：请检查数据文件夹及所在磁盘的写入权限。")
                .arg(path));
    }
    try {
        exec(QStringLiteral("PRAGMA key = %1;").arg(quotedKey(key)).toUtf8().constData());
        // Reading the schema is the first access that needs the key; a wrong key or a foreign file fails
        // here.
        exec("SELECT count(*) FROM sqlite_master;");
        exec("PRAGMA journal_mode = WAL;");
        exec("PRAGMA synchronous = FULL;");
        // Every page read is decrypted; a larger cache keeps the pages of recent queries.
        exec("PRAGMA cache_size = -32768;");
        exec("PRAGMA foreign_keys = OFF;");
    } catch (const StoreError& error) {
        const int code = sqlite3_errcode(db_) & 0xff;
        sqlite3_close(db_);
        db_ = nullptr;
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
            throw StoreError(
                QStringLiteral("数据库文件 %1 无法读取（密码不对、文件损坏或不是本软件的数据库）：%2")
                    .arg(path, error.text()));
        throw StoreError(QStringLiteral("数据库文件 %1 无法打开：%2").arg(path, error.text()));
    }
}

Database::~Database() {
    if (db_)
        sqlite3_close_v2(db_);
}

void Database::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        // The engine's message for the failure is also the connection's last error, which EngineMessage
        // explains.
        sqlite3_free(message);
        throw StoreError(EngineMessage(db_));
    }
}

int Database::userVersion() {
    Statement query(*this, "PRAGMA user_version");
    return query.next() ? static_cast<int>(query.integer(0)) : 0;
}

qint64 Database::dataVersion() {
    Statement query(*this, "PRAGMA data_version");
    return query.next() ? query.integer(0) : 0;
}

qint64 Database::changes() const {
    return sqlite3_changes(db_);
}

bool Database::inTransaction() const {
    return sqlite3_get_autocommit(db_) == 0;
}

void Database::fail(const QString& what) const {
    throw StoreError(QStringLiteral("%1：%2").arg(what, EngineMessage(db_)));
}

Statement::Statement(Database& db, const char* sql) : db_(&db), sql_(QString::fromUtf8(sql)) {
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &stmt_, nullptr) != SQLITE_OK)
        db.fail(QStringLiteral("数据库语句无法执行"));
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(other.stmt_), sql_(std::move(other.sql_)) {
    other.stmt_ = nullptr;
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text(stmt_, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT) != SQLITE_OK)
        db_->fail(QStringLiteral("数据库参数无法设置"));
    return *this;
}

Statement& Statement::bind(int index, qint64 value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK)
        db_->fail(QStringLiteral("数据库参数无法设置"));
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (sqlite3_bind_null(stmt_, index) != SQLITE_OK)
        db_->fail(QStringLiteral("数据库参数无法设置"));
    return *this;
}

bool Statement::next() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = EngineMessage(db_->handle());
    sqlite3_reset(stmt_);
    throw StoreError(QStringLiteral("数据库读写失败：%1").arg(message));
}

void Statement::run() {
    while (next()) {
    }
    sqlite3_reset(stmt_);
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

QString Statement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return data ? QString::fromUtf8(data, sqlite3_column_bytes(stmt_, column)) : QString();
}

qint64 Statement::integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int Statement::columnCount() const {
    return sqlite3_column_count(stmt_);
}

QString Statement::columnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(stmt_, column));
}

Transaction::Transaction(Database& db, Kind kind) : db_(db) {
    if (db_.inTransaction()) {
        savepoint_ = ++db_.savepoints_;
        try {
            db_.exec(savepointSql("SAVEPOINT").constData());
        } catch (...) {
            --db_.savepoints_;
            throw;
        }
        return;
    }
    db_.savepoints_ = 0;
    db_.exec(kind == Kind::Write ? "BEGIN IMMEDIATE;" : "BEGIN;");
}

QByteArray Transaction::savepointSql(const char* verb) const {
    return QByteArray(verb) + " cj_step_" + QByteArray::number(savepoint_) + ';';
}

Transaction::~Transaction() {
    if (savepoint_ > 0)
        --db_.savepoints_;
    if (!open_)
        return;
    try {
        if (savepoint_ > 0) {
            db_.exec(savepointSql("ROLLBACK TO").constData());
            db_.exec(savepointSql("RELEASE").constData());
        } else {
            db_.exec("ROLLBACK;");
        }
    } catch (const StoreError&) {
        // The engine has already rolled the whole transaction back (for instance after a full disk);
        // nothing is left to undo, and the enclosing step's commit will fail and say so.
    }
}

void Transaction::commit() {
    if (savepoint_ > 0) {
        // After the engine ended the transaction on its own, releasing would find no savepoint; saying
        // so here keeps the caller from going on as if its edits had been kept.
        if (!db_.inTransaction())
            throw StoreError(QStringLiteral("数据库读写失败：这一步的修改已被数据库撤销。"));
        db_.exec(savepointSql("RELEASE").constData());
    } else {
        db_.exec("COMMIT;");
    }
    open_ = false;
}

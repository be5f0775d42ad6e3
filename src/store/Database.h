#pragma once

#include "store/StoreError.h"

#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

class Database;

// One prepared statement. Values are always bound, never pasted into the SQL text.
class Statement {
public:
    Statement(Database& db, const char* sql);
    Statement(Statement&&) noexcept;
    Statement& operator=(Statement&&) = delete;
    ~Statement();

    Statement& bind(int index, const QString& value);
    Statement& bind(int index, const char* value) { return bind(index, QString::fromUtf8(value)); }
    Statement& bind(int index, qint64 value);
    Statement& bind(int index, int value) { return bind(index, static_cast<qint64>(value)); }
    Statement& bindNull(int index);

    // Steps once; true while a row is available.
    bool next();
    // Runs a statement that returns no rows.
    void run();
    void reset();

    QString text(int column) const;
    qint64 integer(int column) const;
    bool isNull(int column) const;
    int columnCount() const;
    QString columnName(int column) const;

private:
    Database* db_;
    sqlite3_stmt* stmt_ = nullptr;
    QString sql_;
};

// The one connection of this process to the encrypted database file.
class Database {
public:
    // Opens (or creates) the file with the key; throws StoreError when the file cannot be read with it.
    Database(const QString& path, const QString& key);
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    const QString& path() const { return path_; }
    sqlite3* handle() const { return db_; }

    void exec(const char* sql);
    int userVersion();
    // A number that changes whenever another connection (of this process or another) has committed a
    // change to the file since the last call on this one; cheap enough to ask ten times a second.
    qint64 dataVersion();
    qint64 changes() const;
    // True while a transaction is open on this connection (also one the engine has not yet ended).
    bool inTransaction() const;
    [[noreturn]] void fail(const QString& what) const;

private:
    friend class Transaction;
    sqlite3* db_ = nullptr;
    QString path_;
    int savepoints_ = 0; // savepoints open inside the current transaction, for their names
};

// One atomic step: commits on commit(), undoes everything it did when it goes out of scope without it.
// Opened while another step is open on the same connection, it becomes a savepoint inside that step:
// its commit() keeps its changes for the enclosing step to commit or undo, and leaving it without
// commit() undoes only its own changes. So a caller can make several edits, each a step of its own, one
// step that happens whole or not at all.
class Transaction {
public:
    // Write steps take the write lock at once; a read step holds one snapshot for several queries.
    enum class Kind { Write, Read };
    explicit Transaction(Database& db, Kind kind = Kind::Write);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void commit();
    bool nested() const { return savepoint_ > 0; }

private:
    QByteArray savepointSql(const char* verb) const;

    Database& db_;
    int savepoint_ = 0; // 0 for the outermost step, else the number in the savepoint's name
    bool open_ = true;
};

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
    qint64 changes() const;
    [[noreturn]] void fail(const QString& what) const;

private:
    sqlite3* db_ = nullptr;
    QString path_;
};

// Commits on commit(); rolls back when it goes out of scope without it.
class Transaction {
public:
    explicit Transaction(Database& db);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void commit();

private:
    Database& db_;
    bool open_ = true;
};

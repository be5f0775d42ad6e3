#pragma once

#include "store/ServerWait.h"
#include "store/StoreError.h"

#include <QString>
#include <QStringList>
#include <memory>

struct sqlite3;

namespace store_engine {
class Connection;
class PreparedStatement;
} // namespace store_engine

class Database;

// One prepared statement. Values are always bound, never pasted into the SQL text. The SQL is written for
// the file's engine (SQLite); a server connection translates the few differences (placeholders, a handful
// of functions) itself.
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
    std::unique_ptr<store_engine::PreparedStatement> statement_;
};

// One connection of this process to the restaurant's database: the encrypted file `数据库.dat` on this PC,
// or a PostgreSQL server shared by several counters.
class Database {
public:
    enum class Kind { File, Server };

    // Opens (or creates) the file with the key; throws StoreError when the file cannot be read with it.
    Database(const QString& path, const QString& key);
    // Connects to a PostgreSQL server named by a libpq connection URI; throws StoreError when it cannot.
    static std::unique_ptr<Database> ConnectServer(const QString& uri);
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    // Another connection to the same database, for work on another thread. It holds the same claims.
    std::unique_ptr<Database> connectAgain() const;

    Kind kind() const { return kind_; }
    bool isServer() const { return kind_ == Kind::Server; }

    // Who writes through this connection. Counters respect each other's claims on tables and bills; the
    // phone pages write into a table whichever counter has it open, and that counter follows.
    enum class Writer { Counter, PhonePages };
    Writer writer() const { return writer_; }
    void setWriter(Writer writer) { writer_ = writer; }
    // The file's path, or the server's address without its password: what the user is shown.
    const QString& path() const { return path_; }
    // The address to connect to, password included: for the tools that copy a server database.
    const QString& serverAddress() const { return connectWith_; }
    // The file's SQLite connection; null for a server.
    sqlite3* handle() const;

    void exec(const char* sql);
    int userVersion();
    void setUserVersion(int version);
    bool holdsNoTables();
    // Rows the last statement changed.
    qint64 changes() const;
    // Rows this connection has changed since it opened.
    qint64 ownChanges() const;
    // A number that changes whenever another connection commits a change.
    qint64 commitsByOthers();
    // True while a transaction is open on this connection (also one the engine has not yet ended).
    bool inTransaction() const;
    [[noreturn]] void fail(const QString& what) const;

    // Between counters on a server (nothing happens on a file): a notice on a channel that every other
    // connection listening on it receives when the step that sent it commits, and the socket to watch.
    void listen(const char* channel);
    void notify(const char* channel);
    int notificationSocket() const;
    QStringList takeNotifications();
    // Server only: who hears of a step's wait for the server's answer (see ServerWait.h).
    void setWaitObserver(ServerWaitObserver observer);

    // Whose claims (store/Claims.h) this connection takes: a random token made when the database is opened,
    // kept by connectAgain, so every opened database (every counter, every Lanserve) is a holder of its own.
    const QString& claimHolder() const { return claimHolder_; }
    // The holder as people read it, for messages and the log: "cjpos 12345@收银台".
    static QString ClaimHolderDescription();

    // A connection made by one of the engines (the two functions above).
    Database(Kind kind, QString path, QString connectWith,
             std::unique_ptr<store_engine::Connection> connection);

private:
    friend class Statement;
    friend class Transaction;

    Kind kind_;
    Writer writer_ = Writer::Counter;
    QString path_;
    QString connectWith_; // the key of the file, or the full server URI
    std::unique_ptr<store_engine::Connection> connection_;
    QString claimHolder_;
    int savepoints_ = 0; // savepoints open inside the current transaction, for their names
};

// One atomic step: commits on commit(), undoes everything it did when it goes out of scope without it.
// Opened while another step is open on the same connection, it becomes a savepoint inside that step:
// its commit() keeps its changes for the enclosing step to commit or undo, and leaving it without
// commit() undoes only its own changes. So a caller can make several edits, each a step of its own, one
// step that happens whole or not at all. Write steps of all connections follow one another, on a file as
// on a server.
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

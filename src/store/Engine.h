#pragma once

#include "store/ServerWait.h"

#include <QString>
#include <QStringList>
#include <memory>

struct sqlite3;

// The two kinds of database connection behind Database and Statement: the encrypted SQLite file of one
// counter PC, and a PostgreSQL server several counters share. Only the store folder sees this.
namespace store_engine {

class PreparedStatement {
public:
    virtual ~PreparedStatement() = default;
    virtual void bindText(int index, const QString& value) = 0;
    virtual void bindInteger(int index, qint64 value) = 0;
    virtual void bindNull(int index) = 0;
    virtual bool next() = 0;
    virtual void finish() = 0; // ends the execution, keeps the values bound
    virtual void reset() = 0;  // ends the execution and forgets the values
    virtual QString text(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
};

class Connection {
public:
    virtual ~Connection() = default;
    virtual std::unique_ptr<PreparedStatement> prepare(const char* sql) = 0;
    virtual void exec(const char* sql) = 0;
    virtual void beginWrite() = 0;
    virtual void beginRead() = 0;
    // Commits the open transaction; throws StoreError when the engine undid it instead.
    virtual void commit() { exec("COMMIT;"); }
    virtual bool inTransaction() const = 0;
    virtual qint64 changes() const = 0;
    virtual qint64 ownChanges() const = 0;
    virtual qint64 commitsByOthers() = 0;
    virtual int userVersion() = 0;
    virtual void setUserVersion(int version) = 0;
    virtual QString lastError() const = 0;
    // True when the database holds no table yet (a new file, an empty server database).
    virtual bool holdsNoTables() = 0;
    virtual sqlite3* sqliteHandle() const { return nullptr; }

    // Server only: notices between counters, and locks that last as long as this connection.
    virtual void listen(const char* /*channel*/) {}
    virtual void notify(const char* /*channel*/) {}
    virtual int notificationSocket() const { return -1; }
    virtual QStringList takeNotifications() { return {}; }
    virtual void setWaitObserver(ServerWaitObserver /*observer*/) {}
};

} // namespace store_engine

#pragma once

#include <QtGlobal>

class Database;

// The ordering window's claim on a table while it is open on this counter. On a database server it is a
// lock held by this counter's connection: another counter asking for the same table is refused, and the
// lock ends with the connection, so a counter that dies (or drops off the network, which the server
// notices within half a minute) never keeps a table locked. With the database file there is one counter,
// and the claim is always granted.
class TableLease {
public:
    explicit TableLease(Database& db) : db_(db) {}
    TableLease(const TableLease&) = delete;
    TableLease& operator=(const TableLease&) = delete;
    ~TableLease();

    // Gives up the table held before, then claims this one; false when another counter holds it.
    bool take(int table);
    void release();
    int table() const { return table_; }

    static qint64 LockKey(int table);

private:
    Database& db_;
    int table_ = -1;
};

#pragma once

#include <QString>
#include <QStringList>

class Database;

// What the ordering window has open, claimed against other counters (store/Claims.h): a table, or a closed
// bill opened from the history list. Another counter asking for the same is refused and opens it
// read-only, until this one lets go or its claims run out (a counter that vanished). One lease holds one
// thing at a time. The claims are this database's, kept alive by its ClaimKeeper.
class TableLease {
public:
    explicit TableLease(Database& db) : db_(db) {}
    TableLease(const TableLease&) = delete;
    TableLease& operator=(const TableLease&) = delete;
    ~TableLease();

    // Give up what was held before, then claim this; false when another counter holds it.
    bool take(int table);
    bool takeBill(const QString& billId);
    // Never fails: a claim that could not be given up is logged and tried again at the next take or release.
    void release();
    // The table held, or -1.
    int table() const { return table_; }
    // The closed bill held, or empty.
    const QString& bill() const { return bill_; }

private:
    bool takeObject(const QString& object);
    void releaseUnreleased();

    Database& db_;
    QString object_;
    int table_ = -1;
    QString bill_;
    QStringList unreleased_; // claims a failed release left behind
};

#include "bill/TableLease.h"

#include "store/Database.h"
#include "store/Log.h"

TableLease::~TableLease() {
    try {
        release();
    } catch (const StoreError& error) {
        // The lock ends with the connection anyway.
        Log::write(QStringLiteral("餐桌占用无法解除：") + error.text());
    }
}

qint64 TableLease::LockKey(int table) {
    constexpr qint64 kTables = 0x636a746162000000; // "cjtab" and the table's number
    return kTables + table;
}

bool TableLease::take(int table) {
    release();
    if (db_.isServer() && !db_.tryHoldLock(LockKey(table)))
        return false;
    table_ = table;
    return true;
}

void TableLease::release() {
    if (table_ < 0)
        return;
    const int held = table_;
    table_ = -1;
    if (db_.isServer())
        db_.releaseLock(LockKey(held));
}

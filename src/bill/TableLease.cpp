#include "bill/TableLease.h"

#include "store/Claims.h"
#include "store/Database.h"
#include "store/Log.h"

TableLease::~TableLease() {
    release();
}

bool TableLease::take(int table) {
    const bool taken = takeObject(Claims::TableObject(table));
    table_ = taken ? table : -1;
    return taken;
}

bool TableLease::takeBill(const QString& billId) {
    const bool taken = takeObject(Claims::BillObject(billId));
    bill_ = taken ? billId : QString();
    return taken;
}

bool TableLease::takeObject(const QString& object) {
    // Taking what is held already only renews it: letting go first would give another counter a moment.
    if (object != object_)
        release();
    object_.clear();
    table_ = -1;
    bill_.clear();
    try {
        if (!Claims(db_).take(object))
            return false;
    } catch (const StoreError&) {
        // The claim may be left from before; given up with the next release.
        unreleased_.append(object);
        throw;
    }
    unreleased_.removeAll(object);
    object_ = object;
    return true;
}

void TableLease::release() {
    if (!object_.isEmpty())
        unreleased_.append(object_);
    object_.clear();
    table_ = -1;
    bill_.clear();
    releaseUnreleased();
}

void TableLease::releaseUnreleased() {
    // A claim left behind would be renewed by the keeper for as long as this counter runs.
    while (!unreleased_.isEmpty()) {
        try {
            Claims(db_).release(unreleased_.constFirst());
            unreleased_.removeFirst();
        } catch (const StoreError& error) {
            Log::write(QStringLiteral("占用无法解除（%1），稍后重试：%2")
                           .arg(unreleased_.constFirst(), error.text()));
            return;
        }
    }
}

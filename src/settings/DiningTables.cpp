#include "settings/DiningTables.h"

#include "store/Database.h"
#include "store/Ids.h"
#include "store/Schema.h"
#include "store/Settings.h"

namespace {

const QString kTable = QStringLiteral("餐桌设置");

// rowid of the first row holding the key, or -1.
qint64 rowOfKey(Database& db, const QString& key) {
    Statement query(db, "SELECT rowid FROM \"餐桌设置\" WHERE \"编号\" = ? ORDER BY rowid LIMIT 1");
    query.bind(1, key);
    return query.next() ? query.integer(0) : -1;
}

// Every slot from `first` on takes the value of the next one; the last becomes empty. SQLite evaluates all
// right-hand sides on the old row, so the shift happens in one statement.
void shiftSlotsUp(Database& db, int first) {
    if (first < 0 || first >= kSlotColumns)
        return;
    QByteArray sql = "UPDATE \"综合设置\" SET ";
    for (int i = first; i < kSlotColumns; ++i) {
        sql += SlotColumnSql(i) + " = ";
        sql += i + 1 < kSlotColumns ? SlotColumnSql(i + 1) : QByteArray("''");
        sql += i + 1 < kSlotColumns ? ", " : " ";
    }
    sql += "WHERE rowid = (SELECT min(rowid) FROM \"综合设置\")";
    Statement(db, sql.constData()).run();
}

} // namespace

bool DiningTables::RoomForAnother(int tableCount) {
    return tableCount < kMaxTables;
}

QString DiningTables::newKey(const QDateTime& now) const {
    QDateTime time = now;
    QString key = BillId(time);
    while (rowOfKey(db_, key) >= 0) {
        time = time.addSecs(1);
        key = BillId(time);
    }
    return key;
}

int DiningTables::position(const QString& key) const {
    const qint64 row = rowOfKey(db_, key);
    if (row < 0)
        return -1;
    Statement before(db_, "SELECT count(*) FROM \"餐桌设置\" WHERE rowid < ?");
    before.bind(1, row);
    return before.next() ? static_cast<int>(before.integer(0)) : -1;
}

int DiningTables::rowCount() const {
    Statement count(db_, "SELECT count(*) FROM \"餐桌设置\"");
    return count.next() ? static_cast<int>(count.integer(0)) : 0;
}

DiningTables::SaveResult DiningTables::save(const QString& key, const QString& typedName) {
    const QString name = typedName.trimmed();
    CheckWidths(kTable, {{"餐桌名称", name}, {"编号", key}});
    Transaction transaction(db_);
    const qint64 row = rowOfKey(db_, key);
    if (row >= 0) {
        Statement rename(db_, "UPDATE \"餐桌设置\" SET \"餐桌名称\" = ? WHERE rowid = ?");
        rename.bind(1, name).bind(2, row).run();
    } else {
        if (name.isEmpty())
            return SaveResult::NameMissing;
        if (!RoomForAnother(rowCount()))
            return SaveResult::TooMany;
        Statement add(db_, "INSERT INTO \"餐桌设置\" (\"餐桌名称\", \"编号\") VALUES (?, ?)");
        add.bind(1, name).bind(2, key).run();
    }
    transaction.commit();
    return SaveResult::Saved;
}

DiningTables::Removal DiningTables::check(int openTable, int place) {
    if (place < 0)
        return Removal::Missing;
    if (openTable >= place)
        return Removal::OrderOpen;
    if (place < kSlotColumns && SlotOccupied(ReadSlots(db_, place + 1).value(place)))
        return Removal::Occupied;
    return Removal::Ok;
}

DiningTables::Removal DiningTables::checkRemoval(const QString& key, int openTable) {
    return check(openTable, position(key));
}

DiningTables::Removal DiningTables::remove(const QString& key, int openTable) {
    // Slots and rows are checked and changed under one write lock, so no other writer can fill a slot
    // between the check and the move.
    Transaction transaction(db_);
    const int place = position(key);
    const Removal verdict = check(openTable, place);
    if (verdict != Removal::Ok)
        return verdict;
    Statement remove(db_, "DELETE FROM \"餐桌设置\" WHERE rowid = ?");
    remove.bind(1, rowOfKey(db_, key)).run();
    shiftSlotsUp(db_, place);
    transaction.commit();
    return Removal::Ok;
}

#include "main/OrderDesk.h"

OrderDesk::OrderDesk(Database& db) : settings(db), tables(db, settings), bill(db), menu(db) {
    QObject::connect(&bill, &BillDocument::slotStored, &tables, &TableMap::setSlot);
}

void OrderDesk::openTable(int table, const QDateTime& now) {
    tables.refreshSlots();
    bill.openTable(table, tables.tableName(table), now);
}

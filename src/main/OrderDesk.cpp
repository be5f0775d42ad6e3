#include "main/OrderDesk.h"

#include "print/PrintQueue.h"

OrderDesk::OrderDesk(Database& db, const QString& source)
    : settings(db), tables(db, settings), bill(db), menu(db) {
    QObject::connect(&bill, &BillDocument::slotStored, &tables, &TableMap::setSlot);
    bill.setKitchenRules(KitchenRulesFor(db, source));
}

void OrderDesk::openTable(int table, const QDateTime& now) {
    tables.refreshSlots();
    bill.openTable(table, tables.tableName(table), now);
}

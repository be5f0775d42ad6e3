#include "desk/OrderDesk.h"

#include "menu/MenuCatalogue.h"
#include "print/PrintQueue.h"
#include "store/Database.h"

OrderDesk::OrderDesk(Database& db, const QString& writer)
    : source(writer), settings(db), tables(db, settings), bill(db), menu(db) {
    QObject::connect(&bill, &BillDocument::slotStored, &tables, &TableMap::setSlot);
    bill.setKitchenRules(KitchenRulesFor(db, writer));
}

void OrderDesk::openTable(int table, const QDateTime& now) {
    tables.refreshSlots();
    bill.openTable(table, tables.tableName(table), now);
}

OrderDesk::PlacedOrder OrderDesk::placeOrder(const QList<PendingItem>& items, const QDateTime& now) {
    Database& db = menu.database();
    const MenuCatalogue catalogue(db);
    PlacedOrder placed;
    bill.runAsOneStep([&] {
        for (const PendingItem& chosen : items) {
            const std::optional<MenuItem> item = catalogue.item(chosen.menuKey);
            if (!item)
                throw StoreError(QStringLiteral("“%1”已不在菜单上，这一单没有下。").arg(chosen.name));
            const MenuRecord record = MenuRecordFrom(item->category, item->name, item->quantity, item->unit,
                                                     item->price, item->remark);
            const int at = bill.addItem(record, now);
            if (chosen.quantity != bill.lines().at(at).quantity)
                bill.setQuantity(at, chosen.quantity);
            if (!chosen.remark.trimmed().isEmpty() && chosen.remark != bill.lines().at(at).remark)
                bill.setRemark(at, chosen.remark.trimmed());
            placed.lineIds.append(bill.lines().at(at).lineId);
        }
        placed.kitchen =
            SendPhoneOrderToKitchen(db, bill.header().tableName, LinesWithIds(bill.lines(), placed.lineIds),
                                    source, now, bill.billId());
    });
    return placed;
}

OrderDesk::PlacedOrder OrderDesk::confirmGuestOrder(const QString& orderId, const QDateTime& now) {
    Database& db = menu.database();
    Transaction step(db);
    const std::optional<PendingOrder> order = PendingOrders(db).find(orderId);
    if (!order || order->state != kPendingWaiting)
        throw StoreError(QStringLiteral("这一单已经处理过了。"));
    const int table = static_cast<int>(settings.tableKeys().indexOf(order->tableKey));
    if (table < 0 || table >= tables.tableCount())
        throw StoreError(QStringLiteral("“%1”这张餐桌已不在餐桌设置中。").arg(order->tableName));
    openTable(table, now);
    const PlacedOrder placed = placeOrder(order->items, now);
    PendingOrders(db).settle(orderId, kPendingConfirmed, {});
    step.commit();
    return placed;
}

void OrderDesk::refuseGuestOrder(const QString& orderId, const QString& reason) {
    if (!PendingOrders(menu.database()).settle(orderId, kPendingRefused, reason))
        throw StoreError(QStringLiteral("这一单已经处理过了。"));
}

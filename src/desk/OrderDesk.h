#pragma once

#include "bill/BillDocument.h"
#include "bill/PendingOrders.h"
#include "desk/MenuChoice.h"
#include "desk/TableMap.h"
#include "print/JobStore.h"
#include "print/PrintQueue.h"
#include "settings/SettingsStore.h"

#include <QDateTime>

class Database;

// What one ordering window works with, on a connection: the settings, the table map, the open bill and the
// menu list beside it. The LAN server builds one per request, so a phone's change goes through exactly the
// counter's rules, the kitchen's included; `source` says on tickets who made a change (收银台, 服务员,
// 顾客扫码).
struct OrderDesk {
    explicit OrderDesk(Database& db, const QString& writer = kSourceCounter);
    OrderDesk(const OrderDesk&) = delete;
    OrderDesk& operator=(const OrderDesk&) = delete;

    // Reads the slots afresh and opens the table's bill.
    void openTable(int table, const QDateTime& now);

    // Adds the chosen items to the open table's bill as one step, each at its quantity with its remark
    // (the menu's remark when none is given), at the menu's price now, and sends them to the kitchen when
    // phone orders go there by themselves. An item the menu no longer has refuses the whole order
    // (StoreError naming it). The lines added, and what the kitchen was sent.
    struct PlacedOrder {
        QStringList lineIds;
        std::optional<KitchenSend> kitchen;
    };
    PlacedOrder placeOrder(const QList<PendingItem>& items, const QDateTime& now);

    // 确认 at the counter: the guest order becomes lines of its table's bill (placeOrder) and is marked
    // 已确认, in one step; 拒绝 marks it 已拒绝 with the reason. Throws StoreError when it no longer waits
    // or its table is gone.
    PlacedOrder confirmGuestOrder(const QString& orderId, const QDateTime& now);
    void refuseGuestOrder(const QString& orderId, const QString& reason);

    const QString source; // who writes through this desk, as tickets say
    SettingsStore settings;
    TableMap tables;
    BillDocument bill;
    MenuChoice menu;
};

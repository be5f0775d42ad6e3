#pragma once

#include "bill/BillDocument.h"
#include "main/TableMap.h"
#include "order/MenuChoice.h"
#include "print/JobStore.h"
#include "settings/SettingsStore.h"

#include <QDateTime>

class Database;

// What one ordering window works with, on a connection: the settings, the table map, the open bill and the
// menu list beside it. The LAN server builds one per request, so a phone's change goes through exactly the
// counter's rules, the kitchen's included; `source` says on tickets who made a change (收银台, 服务员,
// 顾客扫码).
struct OrderDesk {
    explicit OrderDesk(Database& db, const QString& source = kSourceCounter);
    OrderDesk(const OrderDesk&) = delete;
    OrderDesk& operator=(const OrderDesk&) = delete;

    // Reads the slots afresh and opens the table's bill.
    void openTable(int table, const QDateTime& now);

    SettingsStore settings;
    TableMap tables;
    BillDocument bill;
    MenuChoice menu;
};

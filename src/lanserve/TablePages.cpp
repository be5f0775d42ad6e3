#include "lanserve/TablePages.h"

#include "bill/BillStore.h"
#include "desk/OrderDesk.h"
#include "lanserve/PageTemplate.h"
#include "store/Database.h"

PageResponse TablePages::list() {
    PageData data;
    {
        const std::scoped_lock lock(context_.dbMutex());
        const Transaction reading(context_.db(), Transaction::Kind::Read);
        OrderDesk desk(context_.db());
        desk.tables.refreshSlots();
        BillStore bills(context_.db());
        std::vector<PageData> rows;
        for (int i = 0; i < desk.tables.tableCount(); ++i) {
            PageData row;
            row.set(QStringLiteral("index"), i);
            row.set(QStringLiteral("name"), desk.tables.tableName(i));
            const bool occupied = desk.tables.isOccupied(i);
            row.setFlag(QStringLiteral("occupied"), occupied);
            if (occupied)
                if (const std::optional<BillHeader> bill = bills.header(desk.tables.slotValue(i)))
                    row.set(QStringLiteral("total"), bill->receivable);
            rows.push_back(std::move(row));
        }
        data.set(QStringLiteral("restaurant"), desk.settings.restaurantName());
        data.setRows(QStringLiteral("tables"), std::move(rows));
    }
    return context_.render(PhonePage::List, data);
}

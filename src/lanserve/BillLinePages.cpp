#include "lanserve/BillLinePages.h"

#include "bill/BillStore.h"
#include "bill/KitchenLedger.h"
#include "bill/PendingOrders.h"
#include "bill/WaiterCalls.h"
#include "desk/OrderDesk.h"
#include "lanserve/PageTemplate.h"
#include "settings/Password.h"
#include "settings/RoleRights.h"
#include "store/Database.h"
#include "store/NumberText.h"

namespace {

QString doneMessage(const QString& code) {
    static const QHash<QString, QString> texts{
        {QStringLiteral("added"), QStringLiteral("已加入账单。")},
        {QStringLiteral("modified"), QStringLiteral("已修改。")},
        {QStringLiteral("deleted"), QStringLiteral("已删除。")},
        {QStringLiteral("saved"), QStringLiteral("已保存。")},
        {QStringLiteral("notsent"), QStringLiteral("已加入账单，但有菜品没有打印机接收，未送厨房，"
                                                   "请告诉服务员。")},
        {QStringLiteral("pending"), QStringLiteral("已提交，服务员确认后加入账单。")},
        {QStringLiteral("called"), QStringLiteral("已通知服务员，请稍候。")}};
    // The same order sent again (a double tap, or Back and send): what the first one came to.
    if (code.startsWith(QLatin1String("again.")))
        return QStringLiteral("这单已经下过了，没有重复下单。%1").arg(texts.value(code.mid(6)));
    return texts.value(code);
}

// A guest's orders of today that wait for a waiter or were refused, so the guest knows where they stand.
std::vector<PageData> pendingRows(Database& db, const QString& tableKey) {
    std::vector<PageData> rows;
    for (const PendingOrder& order : PendingOrders(db).ofTable(tableKey, QDate::currentDate())) {
        if (order.state == kPendingConfirmed)
            continue;
        QStringList dishes;
        for (const PendingItem& item : order.items)
            dishes.append(item.name + QLatin1Char(' ') + item.quantity);
        PageData row;
        row.set(QStringLiteral("time"), order.at.toString(QStringLiteral("HH:mm")));
        row.set(QStringLiteral("state"), order.state);
        row.set(QStringLiteral("dishes"), dishes.join(QStringLiteral("、")));
        row.set(QStringLiteral("note"), order.note);
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

PageResponse BillLinePages::callWaiter(const PageRequest& request, const PageVisitor& visitor) {
    const std::scoped_lock lock(context_.dbMutex());
    OrderDesk desk(context_.db());
    const TableRef table = ResolveTable(request, desk, visitor);
    WaiterCalls(context_.db())
        .call(desk.settings.tableKeys().value(table.index), desk.tables.tableName(table.index),
              QDateTime::currentDateTime());
    return Redirect(TableLink(PhonePage::Detail, table.param) + QStringLiteral("&m=called"));
}

PageResponse BillLinePages::detail(const PageRequest& request, const PageVisitor& visitor) {
    if (request.post && visitor.guest() && Param(request, "call") == QLatin1String("1"))
        return callWaiter(request, visitor);
    PageData data;
    {
        OpenedTable opened(context_, request, visitor, OpenedTable::Reading::OneMoment);
        OrderDesk& desk = opened.desk();
        data = opened.data();
        // Where each dish stands: 已上菜 once served, 已送厨 once a kitchen printer has it, else 已下单.
        const QHash<QString, QString> inKitchen = KitchenLedger(context_.db()).quantities(desk.bill.billId());
        std::vector<PageData> rows;
        for (const OrderLine& line : desk.bill.lines()) {
            PageData row = LineData(line);
            row.set(QStringLiteral("status"), !line.served.isEmpty() ? QStringLiteral("已上菜")
                                              : ReadNumber(inKitchen.value(line.lineId)) > 0
                                                  ? QStringLiteral("已送厨")
                                                  : QStringLiteral("已下单"));
            rows.push_back(std::move(row));
        }
        data.setRows(QStringLiteral("lines"), std::move(rows));
        data.set(QStringLiteral("message"), doneMessage(Param(request, "m")));
        const QString tableKey = desk.settings.tableKeys().value(opened.table().index);
        data.setRows(QStringLiteral("pending"), pendingRows(context_.db(), tableKey));
        data.setFlag(QStringLiteral("called"), visitor.guest() && WaiterCalls(context_.db()).waits(tableKey));
    }
    return context_.render(PhonePage::Detail, data);
}

namespace {

// A phone cannot ask for a 店长's approval: a waiter whose role lacks 退菜 is sent to the counter when a
// change takes back what the kitchen already has.
void CheckMayTakeBack(Database& db, const QString& staff, const OrderLine& line, double quantityNow,
                      const QString& back) {
    if (line.kitchenHas.isEmpty() || quantityNow >= ReadNumber(line.kitchenHas))
        return;
    const std::optional<StaffAccount> account = ReadStaffAccount(db, staff);
    if (account && RoleAllows(db, account->role, staff_right::kTakeBack))
        return;
    throw PageFault{403, QStringLiteral("厨房已经有“%1”，退菜需要店长批准，请到收银台办理。").arg(line.name),
                    back};
}

} // namespace

PageResponse BillLinePages::lineForm(const PageRequest& request, const PageVisitor& visitor, PhonePage page,
                                     const LineChange& change) {
    PageData data;
    {
        const std::scoped_lock lock(context_.dbMutex());
        OrderDesk desk(context_.db(), kSourceWaiter);
        const int table = TableIndex(request, desk);
        OpenTable(desk, table);
        const int index = LineIndex(desk.bill, Param(request, "l"), table);
        if (request.post) {
            CheckSameBill(request, desk, table);
            desk.bill.setActor(visitor.staff);
            desk.bill.setTakeBackReason(Param(request, "reason").trimmed());
            const QString message = change(desk.bill, table, index);
            return Redirect(TableLink(PhonePage::Detail, table) + QStringLiteral("&m=") + message);
        }
        data = TableData(desk, table);
        data.setRows(QStringLiteral("line"), {LineData(desk.bill.lines().at(index))});
    }
    return context_.render(page, data);
}

PageResponse BillLinePages::modify(const PageRequest& request, const PageVisitor& visitor) {
    return lineForm(request, visitor, PhonePage::Modify, [&](BillDocument& bill, int table, int index) {
        const QString back =
            TableLink(PhonePage::Modify, table) + QStringLiteral("&l=") + Param(request, "l");
        const std::optional<QString> quantity = QuantityText(Param(request, "qty"));
        if (!quantity)
            throw PageFault{400, QStringLiteral("数量“%1”不对，%2").arg(Param(request, "qty"), kQuantityRule),
                            back};
        const QString remark = Param(request, "remark");
        OrderLine changed = bill.lines().at(index);
        changed.quantity = *quantity;
        changed.remark = remark;
        CheckFits([&] { BillStore::CheckLineWidths(changed); }, back);
        CheckMayTakeBack(context_.db(), visitor.staff, bill.lines().at(index), ReadNumber(*quantity), back);
        // Quantity and remark change together or not at all.
        bill.runAsOneStep([&] {
            if (*quantity != bill.lines().at(index).quantity)
                bill.setQuantity(index, *quantity);
            if (remark != bill.lines().at(index).remark)
                bill.setRemark(index, remark);
        });
        return QStringLiteral("modified");
    });
}

PageResponse BillLinePages::remove(const PageRequest& request, const PageVisitor& visitor) {
    return lineForm(request, visitor, PhonePage::Delete, [&](BillDocument& bill, int table, int index) {
        CheckMayTakeBack(context_.db(), visitor.staff, bill.lines().at(index), 0,
                         TableLink(PhonePage::Detail, table));
        bill.selectLine(index);
        bill.deleteSelected();
        return QStringLiteral("deleted");
    });
}

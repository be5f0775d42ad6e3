#include "main/TableMap.h"

#include "settings/SettingsStore.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"
#include "store/Settings.h"

TableMap::TableMap(Database& db, SettingsStore& settings)
    : SlotIds(kSlotCount, QString()), db_(db), settings_(settings) {}

void TableMap::selectTile(int index) {
    if (index < 0 || index >= kTileCount)
        return;
    selectedTile_ = index;
    Q_EMIT selectionChanged(index);
}

int TableMap::tableCount() {
    return settings_.tableCount();
}

QString TableMap::tableName(int index) {
    const QStringList& names = settings_.tableList();
    return index >= 0 && index < names.size() ? names.at(index) : QString();
}

bool TableMap::isOccupied(int index) const {
    return index >= 0 && index < SlotIds.size() && SlotOccupied(SlotIds.at(index));
}

void TableMap::refreshSlots() {
    const QStringList stored = ReadSlots(db_, tableCount());
    for (int i = 0; i < stored.size(); ++i)
        SlotIds[i] = stored.at(i);
    Q_EMIT slotsChanged();
}

void TableMap::refreshSlotsIfChanged() {
    const QStringList stored = ReadSlots(db_, tableCount());
    bool changed = false;
    for (int i = 0; i < stored.size(); ++i) {
        if (SlotIds.at(i) != stored.at(i)) {
            SlotIds[i] = stored.at(i);
            changed = true;
        }
    }
    if (changed)
        Q_EMIT slotsChanged();
}

void TableMap::settleAndFree(int index) {
    const QString billId = SlotIds.value(index);
    Transaction transaction(db_);
    WriteSlot(db_, index, QString());
    Statement leave(db_, "UPDATE \"桌台\" SET \"退桌状态\" = 'yes' WHERE \"id\" = ?");
    leave.bind(1, billId).run();
    transaction.commit();
    SlotIds[index] = QString();
    Q_EMIT slotsChanged();
}

OpenedBill TableMap::reopenBill(const QString& billId) {
    OpenedBill bill;
    if (!LoadBillRow(db_, billId, bill))
        throw StoreError(QStringLiteral("账单 %1 已不存在。").arg(billId));
    bill.billId = billId;
    bill.openedText = bill.storedDate.left(10) + QStringLiteral(" 00:00");
    bill.lines = LoadOrderLines(db_, billId);
    OpenSlotValue = billId;
    EditingHistory = true;
    return bill;
}

TableMap::TransferResult TableMap::transfer(int source, int target) {
    Transaction transaction(db_);
    const QStringList stored = ReadSlots(db_, std::max(source, target) + 1);
    if (!stored.value(target).isEmpty() || source == target)
        return TransferResult::TargetOccupied;
    const QString billId = stored.value(source);
    if (billId.isEmpty())
        return TransferResult::SourceFree;
    WriteSlot(db_, source, QString());
    WriteSlot(db_, target, billId);
    transaction.commit();
    SlotIds[source] = QString();
    SlotIds[target] = billId;
    Q_EMIT slotsChanged();
    selectTile(target);
    return TransferResult::Moved;
}

void TableMap::setSlot(int index, const QString& billId) {
    if (index < 0 || index >= SlotIds.size())
        return;
    SlotIds[index] = billId;
    Q_EMIT slotsChanged();
}

QString TableMap::newBillId(const QDateTime& now) {
    // Lines left from a bill that was never stored keep their id: a new bill must not adopt them.
    Statement used(db_, "SELECT (SELECT count(*) FROM \"桌台\" WHERE \"id\" = ?1) + "
                        "(SELECT count(*) FROM \"明细\" WHERE \"id\" = ?1)");
    for (QDateTime at = now;; at = at.addSecs(1)) {
        const QString id = BillId(at);
        used.reset();
        used.bind(1, id);
        const bool inTable = used.next() && used.integer(0) > 0;
        if (!inTable && !SlotIds.contains(id))
            return id;
    }
}

OpenedBill TableMap::openTable(int index, const QDateTime& now) {
    refreshSlots();
    OpenTableIndex = index;
    OpenedBill bill;
    const QString slot = SlotIds.value(index);
    if (isOccupied(index))
        LoadBillRow(db_, slot, bill);
    bill.tableName = tableName(index);
    bill.billId = slot.isEmpty() ? newBillId(now) : slot;
    OpenSlotValue = bill.billId;
    bill.openedText = BillTimeText(bill.billId);
    bill.lines = LoadOrderLines(db_, slot);
    EditingHistory = false;
    return bill;
}

bool LoadBillRow(Database& db, const QString& billId, OpenedBill& bill) {
    Statement row(db,
                  "SELECT \"电话\", \"姓名\", \"备注\", \"菜品费用\", \"酒水费用\", \"其他费用\", \"应收\", "
                  "\"实收\", \"挂账金额\", \"桌号\", \"日期\" FROM \"桌台\" WHERE \"id\" = ?");
    row.bind(1, billId);
    if (!row.next())
        return false;
    bill.phone = row.text(0);
    bill.name = row.text(1);
    bill.remark = row.text(2);
    bill.dishes = row.text(3);
    bill.drinks = row.text(4);
    bill.others = row.text(5);
    bill.receivable = row.text(6);
    bill.received = row.text(7);
    bill.credit = row.text(8);
    bill.tableName = row.text(9);
    bill.storedDate = row.text(10);
    return true;
}

QList<OrderLine> LoadOrderLines(Database& db, const QString& billId) {
    QList<OrderLine> lines;
    if (billId.isEmpty())
        return lines;
    // Equal sort keys (possible after deletions) list the newer line first, as it was placed when added.
    Statement query(
        db, "SELECT \"分类\", \"名称\", \"数量\", \"单位\", \"单价\", \"备注\", \"序号\", \"排序\", \"上菜\" "
            "FROM \"明细\" WHERE \"id\" = ? ORDER BY CAST(\"排序\" AS INTEGER), rowid DESC");
    query.bind(1, billId);
    while (query.next()) {
        OrderLine line;
        line.category = query.text(0);
        line.name = RestoreBrackets(query.text(1));
        line.quantity = query.text(2);
        line.unit = query.text(3);
        line.price = query.text(4);
        line.amount = NumberText(ReadNumber(line.quantity) * ReadNumber(line.price));
        line.remark = query.text(5);
        line.lineId = query.text(6);
        line.sortKey = query.text(7);
        line.served = query.text(8);
        lines.append(line);
    }
    return lines;
}

QList<QPoint> TableMap::FlowTiles(int areaWidthTwips, int count) {
    QList<QPoint> positions;
    if (count <= 0)
        return positions;
    positions.append(QPoint(0, 0));
    for (int i = 1; i < count; ++i) {
        const QPoint previous = positions.last();
        if (previous.x() + 2 * kTileWidth < areaWidthTwips)
            positions.append(QPoint(previous.x() + kTileWidth, previous.y()));
        else
            positions.append(QPoint(0, previous.y() + kTileHeight));
    }
    return positions;
}

#include "bill/BillStore.h"

#include "bill/KitchenLedger.h"
#include "store/ActionTrail.h"
#include "store/Claims.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberFunction.h"
#include "store/NumberText.h"
#include "store/Schema.h"
#include "store/Settings.h"
#include "store/Sql.h"

std::optional<BillHeader> BillStore::header(const QString& billId) {
    Statement row(
        db_,
        "SELECT \"电话\", \"姓名\", \"备注\", \"菜品费用\", \"酒水费用\", \"其他费用\", \"应收\", "
        "\"实收\", \"挂账金额\", \"桌号\", \"日期\", \"退桌状态\", \"人数\" FROM \"桌台\" WHERE \"id\" = ?");
    row.bind(1, billId);
    if (!row.next())
        return std::nullopt;
    BillHeader header;
    header.billId = billId;
    header.phone = row.text(0);
    header.customerName = row.text(1);
    header.remark = row.text(2);
    header.dishes = row.text(3);
    header.drinks = row.text(4);
    header.others = row.text(5);
    header.receivable = row.text(6);
    header.received = row.text(7);
    header.credit = row.text(8);
    header.tableName = row.text(9);
    header.storedDate = row.text(10);
    header.leaveState = row.text(11);
    header.guests = row.text(12);
    return header;
}

QList<OrderLine> BillStore::lines(const QString& billId) {
    QList<OrderLine> lines;
    if (billId.isEmpty())
        return lines;
    // Equal sort keys (possible after deletions) list the newer line first, as it was placed when added.
    Statement query(
        db_,
        "SELECT \"分类\", \"名称\", \"数量\", \"单位\", \"单价\", \"备注\", \"序号\", \"排序\", \"上菜\" "
        "FROM \"明细\" WHERE \"id\" = ? ORDER BY CAST(\"排序\" AS INTEGER), rowid DESC");
    query.bind(1, billId);
    while (query.next())
        lines.append(lineFrom(query));
    return lines;
}

OrderLine BillStore::lineFrom(const Statement& row) {
    OrderLine line;
    line.category = row.text(0);
    line.name = RestoreBrackets(row.text(1));
    line.quantity = row.text(2);
    line.unit = row.text(3);
    line.price = row.text(4);
    line.amount = NumberText(ReadNumber(line.quantity) * ReadNumber(line.price));
    line.remark = row.text(5);
    line.lineId = row.text(6);
    line.sortKey = row.text(7);
    line.served = row.text(8);
    return line;
}

std::optional<OrderLine> BillStore::line(const QString& billId, const QString& lineId) {
    Statement query(db_, "SELECT \"分类\", \"名称\", \"数量\", \"单位\", \"单价\", \"备注\", \"序号\", "
                         "\"排序\", \"上菜\" FROM \"明细\" WHERE \"id\" = ? AND \"序号\" = ?");
    query.bind(1, billId).bind(2, lineId);
    if (!query.next())
        return std::nullopt;
    return lineFrom(query);
}

bool BillStore::hasBill(const QString& billId) {
    Statement exists(db_, "SELECT count(*) FROM \"桌台\" WHERE \"id\" = ?");
    exists.bind(1, billId);
    return exists.next() && exists.integer(0) > 0;
}

QHash<QString, QString> BillStore::receivables(const QStringList& billIds) {
    QHash<QString, QString> found;
    if (billIds.isEmpty())
        return found;
    QByteArray sql = "SELECT \"id\", \"应收\" FROM \"桌台\" WHERE \"id\" IN (";
    for (qsizetype i = 0; i < billIds.size(); ++i)
        sql += i ? ", ?" : "?";
    sql += ")";
    Statement query(db_, sql.constData());
    for (qsizetype i = 0; i < billIds.size(); ++i)
        query.bind(static_cast<int>(i) + 1, billIds.at(i));
    while (query.next())
        found.insert(query.text(0), query.text(1));
    return found;
}

QString BillStore::unusedBillId(const QDateTime& now) {
    // Lines left from a bill that was never stored keep their id: a new bill must not adopt them.
    Statement used(db_, "SELECT (SELECT count(*) FROM \"桌台\" WHERE \"id\" = ?1) + "
                        "(SELECT count(*) FROM \"明细\" WHERE \"id\" = ?1)");
    const QStringList held = slots(kSlotColumns);
    for (QDateTime at = now;; at = at.addSecs(1)) {
        const QString id = BillId(at);
        used.reset();
        used.bind(1, id);
        const bool stored = used.next() && used.integer(0) > 0;
        if (!stored && !held.contains(id))
            return id;
    }
}

QString BillStore::unusedLineId(const QDateTime& addedAt, int linesBefore) {
    Statement used(db_, "SELECT count(*) FROM \"明细\" WHERE \"序号\" = ?");
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString id = LineId(addedAt, linesBefore + attempt);
        used.reset();
        used.bind(1, id);
        if (used.next() && used.integer(0) == 0)
            return id;
    }
    throw StoreError(QStringLiteral("这一秒内添加的菜品太多，请稍后再试。"));
}

void BillStore::CheckLineWidths(const OrderLine& line) {
    CheckWidths(QStringLiteral("明细"), {{"名称", line.name},
                                         {"数量", line.quantity},
                                         {"单位", line.unit},
                                         {"单价", line.price},
                                         {"金额", line.amount},
                                         {"分类", line.category},
                                         {"排序", line.sortKey},
                                         {"备注", line.remark},
                                         {"上菜", line.served}});
}

void BillStore::addLine(const QString& billId, const QString& billDate, const OrderLine& line,
                        const QString& addedBy, const QDateTime& addedAt) {
    CheckLineWidths(line);
    CheckWidths(QStringLiteral("明细"), {{"点菜人", addedBy}});
    Statement add(db_,
                  "INSERT INTO \"明细\" (\"id\", \"日期\", \"序号\", \"名称\", \"数量\", \"单位\", \"单价\", "
                  "\"金额\", \"分类\", \"排序\", \"备注\", \"上菜\", \"备用1\", \"备用2\", \"备用3\", "
                  "\"点菜人\", \"点菜时间\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '', '', '', ?, ?)");
    add.bind(1, billId).bind(2, billDate).bind(3, line.lineId).bind(4, line.name).bind(5, line.quantity);
    add.bind(6, line.unit).bind(7, line.price).bind(8, line.amount).bind(9, line.category);
    add.bind(10, line.sortKey).bind(11, line.remark).bind(12, line.served).bind(13, addedBy);
    add.bind(14, addedAt.isValid() ? addedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString());
    add.run();
}

bool BillStore::changeLine(const QString& billId, const OrderLine& line) {
    CheckLineWidths(line);
    Statement update(
        db_, "UPDATE \"明细\" SET \"数量\" = ?, \"单价\" = ?, \"金额\" = ?, \"备注\" = ?, \"上菜\" = ? "
             "WHERE \"序号\" = ? AND \"id\" = ?");
    update.bind(1, line.quantity).bind(2, line.price).bind(3, line.amount).bind(4, line.remark);
    update.bind(5, line.served).bind(6, line.lineId).bind(7, billId);
    update.run();
    return db_.changes() > 0;
}

bool BillStore::removeLine(const QString& billId, const QString& lineId) {
    Statement remove(db_, "DELETE FROM \"明细\" WHERE \"序号\" = ? AND \"id\" = ?");
    remove.bind(1, lineId).bind(2, billId).run();
    return db_.changes() > 0;
}

qint64 BillStore::billCount() {
    Statement count(db_, "SELECT count(*) FROM \"桌台\"");
    return count.next() ? count.integer(0) : 0;
}

double BillStore::receivableOfAllBills() {
    RegisterSumFunction(db_);
    Statement sum(db_, "SELECT cj_sum(\"应收\") FROM \"桌台\"");
    return sum.next() ? SumValue(sum.isNull(0), sum.text(0)).value_or(0) : 0;
}

QString BillStore::CreditMark(const QString& credit) {
    return ReadNumber(credit) > 0 ? QStringLiteral("◆") : QString();
}

void BillStore::CheckHeaderWidths(const BillHeader& header) {
    CheckWidths(QStringLiteral("桌台"), {{"id", header.billId},
                                         {"桌号", header.tableName},
                                         {"挂账状态", CreditMark(header.credit)},
                                         {"电话", header.phone},
                                         {"姓名", header.customerName},
                                         {"备注", header.remark},
                                         {"人数", header.guests},
                                         {"菜品费用", header.dishes},
                                         {"酒水费用", header.drinks},
                                         {"其他费用", header.others},
                                         {"应收", header.receivable},
                                         {"实收", header.received},
                                         {"挂账金额", header.credit}});
}

void BillStore::writeHeader(const BillHeader& header, bool insert) {
    CheckHeaderWidths(header);
    if (insert) {
        Statement add(db_, "INSERT INTO \"桌台\" (\"id\", \"结账状态\", \"退桌状态\", \"折扣\", \"备用1\", "
                           "\"备用2\", \"人数\") VALUES (?, '', '', '', '', '', '')");
        add.bind(1, header.billId).run();
    }
    Statement update(
        db_, "UPDATE \"桌台\" SET \"日期\" = ?, \"桌号\" = ?, \"结账状态\" = '', \"挂账状态\" = ?, "
             "\"电话\" = ?, \"姓名\" = ?, \"备注\" = ?, \"菜品费用\" = ?, \"酒水费用\" = ?, "
             "\"其他费用\" = ?, \"应收\" = ?, \"实收\" = ?, \"挂账金额\" = ?, \"人数\" = ? WHERE \"id\" = ?");
    update.bind(1, header.billDate()).bind(2, header.tableName).bind(3, CreditMark(header.credit));
    update.bind(4, header.phone).bind(5, header.customerName).bind(6, header.remark);
    update.bind(7, header.dishes).bind(8, header.drinks).bind(9, header.others).bind(10, header.receivable);
    update.bind(11, header.received).bind(12, header.credit).bind(13, header.guests).bind(14, header.billId);
    update.run();
    tellOtherCounters();
}

void BillStore::writeTotals(const BillHeader& header) {
    CheckWidths(QStringLiteral("桌台"), {{"菜品费用", header.dishes},
                                         {"酒水费用", header.drinks},
                                         {"其他费用", header.others},
                                         {"应收", header.receivable}});
    Statement update(db_, "UPDATE \"桌台\" SET \"菜品费用\" = ?, \"酒水费用\" = ?, \"其他费用\" = ?, "
                          "\"应收\" = ? WHERE \"id\" = ?");
    update.bind(1, header.dishes).bind(2, header.drinks).bind(3, header.others).bind(4, header.receivable);
    update.bind(5, header.billId).run();
    tellOtherCounters();
}

void BillStore::writeFields(const BillHeader& header, BillFields fields) {
    struct Field {
        BillField flag;
        const char* column;
        QString value;
    };
    const Field all[] = {{BillField::CustomerName, "姓名", header.customerName},
                         {BillField::Phone, "电话", header.phone},
                         {BillField::Remark, "备注", header.remark},
                         {BillField::Guests, "人数", header.guests},
                         {BillField::Received, "实收", header.received},
                         {BillField::Credit, "挂账金额", header.credit},
                         {BillField::Credit, "挂账状态", CreditMark(header.credit)},
                         {BillField::TableName, "桌号", header.tableName}};
    // Every value is checked before the first is written.
    for (const Field& field : all)
        if (fields.testFlag(field.flag))
            CheckWidths(QStringLiteral("桌台"), {{field.column, field.value}});
    for (const Field& field : all) {
        if (!fields.testFlag(field.flag))
            continue;
        const QByteArray sql =
            QByteArray("UPDATE \"桌台\" SET \"") + field.column + "\" = ? WHERE \"id\" = ?";
        Statement update(db_, sql.constData());
        update.bind(1, field.value).bind(2, header.billId).run();
    }
    tellOtherCounters();
}

void BillStore::checkTableNotClaimed(int table) {
    if (db_.writer() == Database::Writer::Counter && Claims(db_).heldElsewhere(Claims::TableObject(table)))
        throw StoreError(ClaimedTableMessage());
}

void BillStore::checkBillNotClaimed(const QString& billId) {
    if (db_.writer() == Database::Writer::Counter && Claims(db_).heldElsewhere(Claims::BillObject(billId)))
        throw StoreError(QStringLiteral("该账单正在其他收银台打开，这次修改没有保存。"));
}

void BillStore::tellOtherCounters() {
    // Delivered when the step commits, once however many edits it made.
    if (db_.isServer())
        db_.notify(kTablesChannel);
}

void BillStore::setLeaveState(const QString& billId, const QString& leaveState) {
    CheckWidths(QStringLiteral("桌台"), {{"退桌状态", leaveState}});
    Statement leave(db_, "UPDATE \"桌台\" SET \"退桌状态\" = ? WHERE \"id\" = ?");
    leave.bind(1, leaveState).bind(2, billId).run();
    tellOtherCounters();
}

void BillStore::removeHeader(const QString& billId) {
    Statement remove(db_, "DELETE FROM \"桌台\" WHERE \"id\" = ?");
    remove.bind(1, billId).run();
    tellOtherCounters();
}

void BillStore::deleteBill(const QString& billId) {
    Transaction step(db_);
    checkBillNotClaimed(billId);
    removeHeader(billId);
    Statement lines(db_, "DELETE FROM \"明细\" WHERE \"id\" = ?");
    lines.bind(1, billId).run();
    KitchenLedger(db_).forgetBill(billId);
    step.commit();
}

QString BillStore::slotOf(int table) {
    return ReadSlots(db_, table + 1).value(table);
}

QStringList BillStore::slots(int tableCount) {
    return ReadSlots(db_, tableCount);
}

void BillStore::writeSlot(int table, const QString& value) {
    WriteSlot(db_, table, value);
    tellOtherCounters();
}

BillStore::SettleResult BillStore::settle(int table, const std::optional<QString>& shownReceivable) {
    Transaction step(db_);
    checkTableNotClaimed(table);
    SettleResult result;
    result.billId = slotOf(table);
    if (!result.billId.isEmpty()) {
        const std::optional<BillHeader> stored = header(result.billId);
        result.receivable = stored ? stored->receivable : QString();
        if (shownReceivable && stored && ReadNumber(*shownReceivable) != ReadNumber(result.receivable)) {
            result.status = SettleStatus::Changed;
            return result;
        }
    }
    writeSlot(table, QString());
    setLeaveState(result.billId, QStringLiteral("yes"));
    step.commit();
    return result;
}

BillStore::TransferResult BillStore::transfer(int source, int target, const QString& targetName,
                                              const QString& staff, const QString& approver) {
    Transaction step(db_);
    checkTableNotClaimed(source);
    checkTableNotClaimed(target);
    const QStringList stored = slots(std::max(source, target) + 1);
    if (!stored.value(target).isEmpty() || source == target)
        return TransferResult::TargetOccupied;
    const QString billId = stored.value(source);
    if (billId.isEmpty())
        return TransferResult::SourceFree;
    writeSlot(source, QString());
    writeSlot(target, billId);
    const std::optional<BillHeader> moving = header(billId);
    const QString sourceName = moving ? moving->tableName : QString();
    ActionTrail(db_).append(Action{staff, trail_action::kMoveTable, sourceName, billId,
                                   QStringLiteral("%1 → %2").arg(sourceName, targetName), QString(), approver,
                                   QString()});
    if (!targetName.isEmpty()) {
        BillHeader moved;
        moved.billId = billId;
        moved.tableName = targetName;
        writeFields(moved, BillField::TableName);
    }
    step.commit();
    return TransferResult::Moved;
}

namespace {

// The ids of bills opened on the days [first, last]: an id is the opening time, "yyyymmddhhmmss".
QString FirstIdOn(const QDate& day) {
    return day.toString(QStringLiteral("yyyyMMdd"));
}

// The part of the history statement after its columns: the bills found, with the values to bind.
QByteArray ClosedBillsFromWhere(const ClosedBillQuery& query, const ClosedBillPage& page,
                                QStringList& values) {
    const QDate first = std::min(query.first, query.last);
    const QDate last = std::max(query.first, query.last);
    // A name search reads only the small index of the bills that carry a name.
    const bool named = !query.nameContains.isEmpty();
    const bool alongIds = page.alongIds && !named;
    QByteArray sql = " FROM \"桌台\" ";
    // Read from an index that covers the list: a page then costs the bills of the dates asked for (or,
    // along the ids, the page itself), never a walk through every newer bill.
    sql += named      ? "INDEXED BY \"桌台_姓名\" "
           : alongIds ? "INDEXED BY \"桌台_结账\" "
                      : "INDEXED BY \"桌台_历史\" ";
    sql += "WHERE \"退桌状态\" = 'yes' ";
    if (named) {
        sql += "AND \"姓名\" <> '' AND \"姓名\" LIKE ? ESCAPE '\\' ";
        values.append(LikeContainsPattern(query.nameContains));
    }
    if (query.onAccountOnly)
        sql += "AND \"挂账状态\" = '◆' ";
    sql += "AND \"日期\" BETWEEN ? AND ?";
    values << DateText(first) << DateText(last);
    if (alongIds) {
        const QString pastLastDay = FirstIdOn(last.addDays(1));
        sql += " AND \"id\" >= ? AND \"id\" < ?";
        // One upper bound, so the walk starts right below it.
        values << FirstIdOn(first)
               << (page.before.isEmpty() ? pastLastDay : std::min(page.before, pastLastDay));
    } else if (!page.before.isEmpty()) {
        sql += " AND \"id\" < ?";
        values.append(page.before);
    }
    return sql;
}

} // namespace

ClosedBillCount BillStore::countClosedBills(const ClosedBillQuery& query) {
    QStringList values;
    const QByteArray where = ClosedBillsFromWhere(query, {}, values);
    Statement statement(
        db_, ("SELECT count(*), count(CASE WHEN \"id\" >= ? AND \"id\" < ? THEN NULL ELSE 1 END)" + where)
                 .constData());
    const QDate first = std::min(query.first, query.last);
    const QDate last = std::max(query.first, query.last);
    statement.bind(1, FirstIdOn(first)).bind(2, FirstIdOn(last.addDays(1)));
    for (int i = 0; i < values.size(); ++i)
        statement.bind(i + 3, values.at(i));
    if (!statement.next())
        return {};
    return {static_cast<int>(statement.integer(0)), static_cast<int>(statement.integer(1))};
}

QList<ClosedBill> BillStore::closedBills(const ClosedBillQuery& query, const ClosedBillPage& page) {
    QStringList values;
    QByteArray sql = "SELECT \"id\", \"日期\", \"姓名\", \"桌号\", \"挂账状态\"" +
                     ClosedBillsFromWhere(query, page, values) + " ORDER BY \"id\" DESC";
    if (page.limit > 0)
        sql += " LIMIT " + QByteArray::number(page.limit);
    Statement statement(db_, sql.constData());
    for (int i = 0; i < values.size(); ++i)
        statement.bind(i + 1, values.at(i));
    QList<ClosedBill> bills;
    bills.reserve(page.limit);
    while (statement.next())
        bills.append(
            {statement.text(0), statement.text(1), statement.text(2), statement.text(3), statement.text(4)});
    return bills;
}

#include "order/OrderSession.h"

#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"
#include "store/Schema.h"
#include "store/Settings.h"
#include "store/Sql.h"

#include <QHash>
#include <algorithm>
#include <optional>

namespace {

MenuRecord menuRecordFrom(const Statement& row) {
    MenuRecord record;
    record.category = row.text(0);
    record.name = RestoreBrackets(row.text(1));
    const double quantity = ReadNumber(row.text(2));
    const double price = ReadNumber(row.text(4));
    record.quantity = NumberText(quantity);
    record.unit = row.text(3);
    record.price = NumberText(price);
    record.amount = NumberText(quantity * price);
    record.remark = row.text(5);
    record.kitchenMark = record.category == kDishes ? kMark : QString();
    return record;
}

QString toggled(const QString& mark) {
    return mark.isEmpty() ? kMark : QString();
}

} // namespace

OrderSession::OrderSession(Database& db, TableMap& tables) : db_(db), tables_(tables) {}

void OrderSession::open(const OpenedBill& bill) {
    tableName = bill.tableName;
    billId = bill.billId;
    openedText = bill.openedText;
    phone = bill.phone;
    name = bill.name;
    remark = bill.remark;
    dishes = bill.dishes;
    drinks = bill.drinks;
    others = bill.others;
    receivable = bill.receivable;
    received = bill.received;
    credit = bill.credit;
    discount.clear();
    LeaveState.clear();
    lines_ = bill.lines;
    sortKeys_.clear();
    for (const OrderLine& line : lines_)
        sortKeys_.append(line.sortKey);
    SelectedRow = -1;
    slotAtOpen_ = tables_.EditingHistory ? QString() : tables_.SlotIds.value(tables_.OpenTableIndex);
    Statement exists(db_, "SELECT count(*) FROM \"桌台\" WHERE \"id\" = ?");
    exists.bind(1, billId);
    rowExistedAtOpen_ = exists.next() && exists.integer(0) > 0;
    Q_EMIT linesChanged();
    computeTotals();
}

void OrderSession::chooseCategory(const QString& category) {
    category_ = category;
    search(QString());
}

void OrderSession::search(const QString& text) {
    menu_.clear();
    Statement query(db_, "SELECT \"分类\", \"名称\", \"数量\", \"单位\", \"单价\", \"备注\" FROM \"菜单\" "
                         "WHERE \"查询\" LIKE ? ESCAPE '\\' AND \"分类\" = ? ORDER BY rowid");
    query.bind(1, LikeContainsPattern(text)).bind(2, category_);
    while (query.next())
        menu_.append(menuRecordFrom(query));
    Q_EMIT menuChanged();
}

QString OrderSession::billDate() const {
    return openedText.left(10);
}

QString OrderSession::uniqueLineId(const QDateTime& now, int linesBefore) {
    // The id is unique across all bills: another table may add its line with the same count in the same
    // second.
    Statement used(db_, "SELECT count(*) FROM \"明细\" WHERE \"序号\" = ?");
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString id = LineId(now, linesBefore + attempt);
        used.reset();
        used.bind(1, id);
        if (used.next() && used.integer(0) == 0)
            return id;
    }
    throw StoreError(QStringLiteral("这一秒内添加的菜品太多，请稍后再试。"));
}

void OrderSession::writeLine(const OrderLine& line, bool insert) {
    CheckWidths(QStringLiteral("明细"), {{"名称", line.name},
                                         {"数量", line.quantity},
                                         {"单位", line.unit},
                                         {"单价", line.price},
                                         {"金额", line.amount},
                                         {"分类", line.category},
                                         {"排序", line.sortKey},
                                         {"备注", line.remark},
                                         {"上菜", line.served}});
    if (insert) {
        Statement add(
            db_, "INSERT INTO \"明细\" (\"id\", \"日期\", \"序号\", \"名称\", \"数量\", \"单位\", \"单价\", "
                 "\"金额\", \"分类\", \"排序\", \"备注\", \"上菜\", \"备用1\", \"备用2\", \"备用3\") "
                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '', '', '')");
        add.bind(1, billId)
            .bind(2, billDate())
            .bind(3, line.lineId)
            .bind(4, line.name)
            .bind(5, line.quantity);
        add.bind(6, line.unit).bind(7, line.price).bind(8, line.amount).bind(9, line.category);
        add.bind(10, line.sortKey).bind(11, line.remark).bind(12, line.served);
        add.run();
        return;
    }
    Statement update(
        db_, "UPDATE \"明细\" SET \"数量\" = ?, \"单价\" = ?, \"金额\" = ?, \"备注\" = ?, \"上菜\" = ? "
             "WHERE \"序号\" = ? AND \"id\" = ?");
    update.bind(1, line.quantity).bind(2, line.price).bind(3, line.amount).bind(4, line.remark);
    update.bind(5, line.served).bind(6, line.lineId).bind(7, billId);
    update.run();
}

int OrderSession::addItem(int menuIndex, const QDateTime& now) {
    if (menuIndex < 0 || menuIndex >= menu_.size())
        return -1;
    const MenuRecord& record = menu_.at(menuIndex);
    const int count = static_cast<int>(lines_.size());
    OrderLine line{
        record.category, record.name,   record.quantity,    record.unit, record.price,
        record.amount,   record.remark, record.kitchenMark, QString(),   SortKey(record.toText(), count),
        QString()};

    // Lines stay grouped by key; a key equal to existing ones goes before them.
    const auto position =
        std::lower_bound(sortKeys_.cbegin(), sortKeys_.cend(), line.sortKey,
                         [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    const int at = static_cast<int>(position - sortKeys_.cbegin());

    Transaction transaction(db_);
    line.lineId = uniqueLineId(now, count);
    writeLine(line, true);
    const Snapshot before = snapshot();
    lines_.insert(at, line);
    sortKeys_.insert(at, line.sortKey);
    try {
        commitWithBill(transaction);
    } catch (const StoreError&) {
        restore(before);
        throw;
    }
    if (SelectedRow >= at)
        ++SelectedRow;
    Q_EMIT linesChanged();
    return at;
}

void OrderSession::changeLine(int index, const OrderLine& changed) {
    if (index < 0 || index >= lines_.size())
        return;
    const OrderLine before = lines_.at(index);
    if (before == changed)
        return;
    Transaction transaction(db_);
    const Snapshot saved = snapshot();
    lines_[index] = changed;
    try {
        writeLine(changed, false);
        commitWithBill(transaction);
    } catch (const StoreError&) {
        restore(saved);
        throw;
    }
    Q_EMIT lineChanged(index);
}

void OrderSession::editLine(int line, const std::function<void(OrderLine&)>& edit) {
    if (line < 0 || line >= lines_.size())
        return;
    OrderLine changed = lines_.at(line);
    edit(changed);
    changed.amount = NumberText(ReadNumber(changed.quantity) * ReadNumber(changed.price));
    changeLine(line, changed);
}

void OrderSession::setQuantity(int line, const QString& text) {
    editLine(line, [&](OrderLine& changed) { changed.quantity = text; });
}

void OrderSession::setPrice(int line, const QString& text) {
    editLine(line, [&](OrderLine& changed) { changed.price = text; });
}

void OrderSession::setRemark(int line, const QString& text) {
    editLine(line, [&](OrderLine& changed) { changed.remark = text; });
}

void OrderSession::toggleServed(int line) {
    if (line < 0 || line >= lines_.size())
        return;
    OrderLine changed = lines_.at(line);
    changed.served = toggled(changed.served);
    changeLine(line, changed);
    xz(line);
}

void OrderSession::toggleKitchenMark(int line) {
    if (line < 0 || line >= lines_.size())
        return;
    // The kitchen mark lives in memory only.
    lines_[line].kitchenMark = toggled(lines_.at(line).kitchenMark);
    Q_EMIT lineChanged(line);
    xz(line);
}

bool OrderSession::xz(int row) {
    if (row + 1 > lines_.size()) {
        Q_EMIT selectionChanged(-1);
        return false;
    }
    SelectedRow = row;
    Q_EMIT selectionChanged(row);
    return true;
}

void OrderSession::deleteSelected() {
    if (SelectedRow < 0 || SelectedRow >= lines_.size())
        return;
    const int index = SelectedRow;
    const OrderLine removed = lines_.at(index);
    Transaction transaction(db_);
    Statement remove(db_, "DELETE FROM \"明细\" WHERE \"序号\" = ? AND \"id\" = ?");
    remove.bind(1, removed.lineId).bind(2, billId).run();
    const Snapshot before = snapshot();
    lines_.removeAt(index);
    sortKeys_.removeAt(index);
    try {
        commitWithBill(transaction);
    } catch (const StoreError&) {
        restore(before);
        throw;
    }
    SelectedRow = -1;
    Q_EMIT linesChanged();
}

void OrderSession::computeTotals() {
    double dishSum = 0;
    double drinkSum = 0;
    double otherSum = 0;
    for (const OrderLine& line : lines_) {
        const double amount = ReadNumber(line.amount);
        if (line.category == kDishes)
            dishSum += amount;
        else if (line.category == kDrinks)
            drinkSum += amount;
        else if (line.category == kOthers)
            otherSum += amount;
    }
    dishes = NumberText(dishSum);
    drinks = NumberText(drinkSum);
    others = NumberText(otherSum);
    receivable = NumberText(dishSum + drinkSum + otherSum);
    Q_EMIT totalsChanged();
}

void OrderSession::applyDiscount(const QString& text) {
    discount = text;
    const double factor = ReadNumber(discount);
    const double total = ReadNumber(receivable);
    received = FormatWhole(factor == 0 ? total : total * factor);
    Q_EMIT totalsChanged();
}

void OrderSession::fillReceived() {
    received = NumberText(ReadNumber(receivable));
    Q_EMIT totalsChanged();
}

void OrderSession::fillCredit() {
    credit = NumberText(ReadNumber(receivable));
    Q_EMIT totalsChanged();
}

std::optional<QString> OrderSession::persistBill() {
    const double total = ReadNumber(receivable);
    const bool fromMap = !tables_.EditingHistory && tables_.OpenTableIndex >= 0;
    const bool rowExists = [&] {
        Statement exists(db_, "SELECT count(*) FROM \"桌台\" WHERE \"id\" = ?");
        exists.bind(1, billId);
        return exists.next() && exists.integer(0) > 0;
    }();
    // The table's slot holds the bill only while there is something to pay; otherwise it keeps what it
    // held when the window opened.
    const QString slotValue = total > 0 ? tables_.OpenSlotValue : slotAtOpen_;

    if (total == 0) {
        // A bill with nothing to pay is not stored. A row that only this window's earlier changes wrote is
        // taken back; a row stored before keeps its totals in step with its lines.
        if (rowExists && !rowExistedAtOpen_) {
            Statement remove(db_, "DELETE FROM \"桌台\" WHERE \"id\" = ?");
            remove.bind(1, billId).run();
        } else if (rowExists) {
            writeBillRow(false);
        }
    } else {
        writeBillRow(!rowExists);
        if (fromMap) {
            Statement leave(db_, "UPDATE \"桌台\" SET \"退桌状态\" = ? WHERE \"id\" = ?");
            leave.bind(1, LeaveState).bind(2, billId).run();
        }
    }
    if (!fromMap)
        return std::nullopt;
    // A phone may have opened another bill on this table since the window opened: never write over it.
    const QString stored = ReadSlots(db_, tables_.OpenTableIndex + 1).value(tables_.OpenTableIndex);
    if (SlotOccupied(stored) && stored != billId && stored != slotAtOpen_)
        throw StoreError(QStringLiteral("这张桌子刚刚有了另一张账单（可能来自手机点餐），这次修改没有保存。"
                                        "请关闭点餐窗口，再重新打开这张桌子。"));
    if (stored == slotValue) {
        if (tables_.SlotIds.value(tables_.OpenTableIndex) == slotValue)
            return std::nullopt;
        return slotValue;
    }
    WriteSlot(db_, tables_.OpenTableIndex, slotValue);
    return slotValue;
}

void OrderSession::writeBillRow(bool insert) {
    const QString creditMark = ReadNumber(credit) > 0 ? QStringLiteral("◆") : QString();
    CheckWidths(QStringLiteral("桌台"), {{"id", billId},
                                         {"桌号", tableName},
                                         {"挂账状态", creditMark},
                                         {"电话", phone},
                                         {"姓名", name},
                                         {"备注", remark},
                                         {"菜品费用", dishes},
                                         {"酒水费用", drinks},
                                         {"其他费用", others},
                                         {"应收", receivable},
                                         {"实收", received},
                                         {"挂账金额", credit},
                                         {"退桌状态", LeaveState}});
    if (insert) {
        Statement add(
            db_, "INSERT INTO \"桌台\" (\"id\", \"结账状态\", \"退桌状态\", \"折扣\", \"备用1\", \"备用2\") "
                 "VALUES (?, '', '', '', '', '')");
        add.bind(1, billId).run();
    }
    Statement update(db_,
                     "UPDATE \"桌台\" SET \"日期\" = ?, \"桌号\" = ?, \"结账状态\" = '', \"挂账状态\" = ?, "
                     "\"电话\" = ?, \"姓名\" = ?, \"备注\" = ?, \"菜品费用\" = ?, \"酒水费用\" = ?, "
                     "\"其他费用\" = ?, \"应收\" = ?, \"实收\" = ?, \"挂账金额\" = ? WHERE \"id\" = ?");
    update.bind(1, billDate()).bind(2, tableName).bind(3, creditMark).bind(4, phone).bind(5, name);
    update.bind(6, remark).bind(7, dishes).bind(8, drinks).bind(9, others).bind(10, receivable);
    update.bind(11, received).bind(12, credit).bind(13, billId);
    update.run();
}

OrderSession::Snapshot OrderSession::snapshot() const {
    return {lines_, sortKeys_, SelectedRow};
}

void OrderSession::restore(const Snapshot& saved) {
    lines_ = saved.lines;
    sortKeys_ = saved.sortKeys;
    SelectedRow = saved.selectedRow;
    Q_EMIT linesChanged();
    computeTotals();
}

void OrderSession::commitWithBill(Transaction& transaction) {
    // Lines a phone added to this bill count in the totals written now.
    reloadLines();
    computeTotals();
    const std::optional<QString> slot = persistBill();
    transaction.commit();
    if (slot)
        tables_.setSlot(tables_.OpenTableIndex, *slot);
}

OrderSession::SaveResult OrderSession::save() {
    Transaction transaction(db_);
    commitWithBill(transaction);
    return ReadNumber(receivable) == 0 ? SaveResult::NothingToSave : SaveResult::Saved;
}

void OrderSession::checkout() {
    tables_.OpenSlotValue.clear();
    LeaveState = QStringLiteral("yes");
}

void OrderSession::reloadLines() {
    QHash<QString, QString> marks;
    for (const OrderLine& line : lines_)
        marks.insert(line.lineId, line.kitchenMark);
    QList<OrderLine> fresh = LoadOrderLines(db_, billId);
    for (OrderLine& line : fresh)
        line.kitchenMark = marks.contains(line.lineId) ? marks.value(line.lineId)
                                                       : (line.category == kDishes ? kMark : QString());
    if (fresh == lines_)
        return;
    lines_ = fresh;
    sortKeys_.clear();
    for (const OrderLine& line : lines_)
        sortKeys_.append(line.sortKey);
    SelectedRow = -1;
    Q_EMIT linesChanged();
    computeTotals();
}

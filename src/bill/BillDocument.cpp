#include "bill/BillDocument.h"

#include "store/Database.h"
#include "store/Ids.h"
#include "store/NumberText.h"

#include <QHash>
#include <algorithm>
#include <utility>

namespace {

QString toggled(const QString& mark) {
    return mark.isEmpty() ? kMark : QString();
}

} // namespace

BillDocument::BillDocument(Database& db, QObject* parent) : QObject(parent), db_(db), store_(db) {}

void BillDocument::openTable(int table, const QString& tableName, const QDateTime& now) {
    // A slot holds a bill only when it is a 14-character id, as the tile shows it; anything else (a damaged
    // value) is a free table that gets a new bill.
    const QString slot = store_.slotOf(table);
    const bool occupied = SlotOccupied(slot);
    BillHeader header;
    if (occupied)
        header = store_.header(slot).value_or(BillHeader());
    header.tableName = tableName;
    header.billId = occupied ? slot : store_.unusedBillId(now);
    header.openedText = BillTimeText(header.billId);
    const QList<OrderLine> lines = occupied ? store_.lines(slot) : QList<OrderLine>();
    table_ = table;
    closedBill_ = false;
    slotToStore_ = header.billId;
    slotAtOpen_ = slot;
    startEditing(header, lines);
}

void BillDocument::openClosedBill(const QString& billId) {
    std::optional<BillHeader> header = store_.header(billId);
    if (!header)
        throw StoreError(QStringLiteral("账单 %1 已不存在。").arg(billId));
    header->openedText = header->storedDate.left(10) + QStringLiteral(" 00:00");
    const QList<OrderLine> lines = store_.lines(billId);
    table_ = -1;
    closedBill_ = true;
    slotToStore_ = billId;
    slotAtOpen_.clear();
    startEditing(*header, lines);
}

void BillDocument::startEditing(const BillHeader& header, const QList<OrderLine>& lines) {
    header_ = header;
    lines_ = lines;
    discount_.clear();
    leaveState_.clear();
    selectedLine_ = -1;
    stepDepth_ = 0;
    slotToAnnounce_.reset();
    rowExistedAtOpen_ = store_.hasBill(header_.billId);
    Q_EMIT opened();
    Q_EMIT linesChanged();
    computeTotals();
}

QStringList BillDocument::sortKeys() const {
    QStringList keys;
    keys.reserve(lines_.size());
    for (const OrderLine& line : lines_)
        keys.append(line.sortKey);
    return keys;
}

int BillDocument::addItem(const MenuRecord& record, const QDateTime& now) {
    const int count = static_cast<int>(lines_.size());
    OrderLine line{
        record.category, record.name,   record.quantity,    record.unit, record.price,
        record.amount,   record.remark, record.kitchenMark, QString(),   SortKey(record.toText(), count),
        QString()};

    // Lines stay grouped by key; a key equal to existing ones goes before them.
    const auto position = std::lower_bound(
        lines_.cbegin(), lines_.cend(), line.sortKey,
        [](const OrderLine& a, const QString& key) { return a.sortKey.toInt() < key.toInt(); });
    const int at = static_cast<int>(position - lines_.cbegin());

    Transaction step(db_);
    line.lineId = store_.unusedLineId(now, count);
    store_.addLine(header_.billId, header_.billDate(), line);
    const Snapshot before = snapshot();
    lines_.insert(at, line);
    try {
        commitWithBill(step);
    } catch (const StoreError&) {
        restore(before);
        throw;
    }
    // The grid is filled anew: no line stays selected for 删除 to take by surprise.
    selectedLine_ = -1;
    Q_EMIT linesChanged();
    Q_EMIT selectionChanged(-1);
    return at;
}

void BillDocument::changeLine(int index, const OrderLine& changed) {
    if (index < 0 || index >= lines_.size())
        return;
    if (lines_.at(index) == changed)
        return;
    Transaction step(db_);
    const Snapshot before = snapshot();
    lines_[index] = changed;
    try {
        store_.changeLine(header_.billId, changed);
        commitWithBill(step);
    } catch (const StoreError&) {
        restore(before);
        throw;
    }
    Q_EMIT lineChanged(index);
}

void BillDocument::editLine(int line, const std::function<void(OrderLine&)>& edit) {
    if (line < 0 || line >= lines_.size())
        return;
    OrderLine changed = lines_.at(line);
    edit(changed);
    changed.amount = NumberText(ReadNumber(changed.quantity) * ReadNumber(changed.price));
    changeLine(line, changed);
}

void BillDocument::setQuantity(int line, const QString& text) {
    editLine(line, [&](OrderLine& changed) { changed.quantity = text; });
}

void BillDocument::setPrice(int line, const QString& text) {
    editLine(line, [&](OrderLine& changed) { changed.price = text; });
}

void BillDocument::setRemark(int line, const QString& text) {
    editLine(line, [&](OrderLine& changed) { changed.remark = text; });
}

void BillDocument::toggleServed(int line) {
    if (line < 0 || line >= lines_.size())
        return;
    OrderLine changed = lines_.at(line);
    changed.served = toggled(changed.served);
    changeLine(line, changed);
    selectLine(line);
}

void BillDocument::toggleKitchenMark(int line) {
    if (line < 0 || line >= lines_.size())
        return;
    lines_[line].kitchenMark = toggled(lines_.at(line).kitchenMark);
    Q_EMIT lineChanged(line);
    selectLine(line);
}

bool BillDocument::selectLine(int row) {
    if (row + 1 > lines_.size()) {
        Q_EMIT selectionChanged(-1);
        return false;
    }
    selectedLine_ = row;
    Q_EMIT selectionChanged(row);
    return true;
}

void BillDocument::deleteSelected() {
    if (selectedLine_ < 0 || selectedLine_ >= lines_.size())
        return;
    const int index = selectedLine_;
    Transaction step(db_);
    store_.removeLine(header_.billId, lines_.at(index).lineId);
    const Snapshot before = snapshot();
    lines_.removeAt(index);
    try {
        commitWithBill(step);
    } catch (const StoreError&) {
        restore(before);
        throw;
    }
    selectedLine_ = -1;
    Q_EMIT linesChanged();
}

void BillDocument::runAsOneStep(const std::function<void()>& edits) {
    const Snapshot before = snapshot();
    Transaction step(db_);
    ++stepDepth_;
    try {
        edits();
        step.commit();
    } catch (...) {
        --stepDepth_;
        if (stepDepth_ == 0)
            slotToAnnounce_.reset();
        restore(before);
        throw;
    }
    --stepDepth_;
    if (stepDepth_ == 0 && slotToAnnounce_)
        announceSlot(*std::exchange(slotToAnnounce_, std::nullopt));
}

void BillDocument::computeTotals() {
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
    header_.dishes = NumberText(dishSum);
    header_.drinks = NumberText(drinkSum);
    header_.others = NumberText(otherSum);
    header_.receivable = NumberText(dishSum + drinkSum + otherSum);
    Q_EMIT totalsChanged();
}

void BillDocument::applyDiscount(const QString& text) {
    discount_ = text;
    const double factor = ReadNumber(discount_);
    const double total = ReadNumber(header_.receivable);
    header_.received = FormatWhole(factor == 0 ? total : total * factor);
    Q_EMIT totalsChanged();
}

void BillDocument::fillReceived() {
    header_.received = NumberText(ReadNumber(header_.receivable));
    Q_EMIT totalsChanged();
}

void BillDocument::fillCredit() {
    header_.credit = NumberText(ReadNumber(header_.receivable));
    Q_EMIT totalsChanged();
}

std::optional<QString> BillDocument::persistBill() {
    const double total = ReadNumber(header_.receivable);
    const bool forTable = !closedBill_ && table_ >= 0;
    const bool rowExists = store_.hasBill(header_.billId);
    // The table's slot holds the bill only while there is something to pay; otherwise it keeps what it
    // held when the bill was opened.
    const QString slotValue = total > 0 ? slotToStore_ : slotAtOpen_;

    if (total == 0) {
        // A bill with nothing to pay is not written: a row stored before keeps what it held, and a row that
        // only this document's earlier changes wrote is taken back.
        if (rowExists && !rowExistedAtOpen_)
            store_.removeHeader(header_.billId);
    } else {
        store_.writeHeader(header_, !rowExists);
        if (forTable)
            store_.setLeaveState(header_.billId, leaveState_);
    }
    if (!forTable)
        return std::nullopt;
    // A phone may have opened another bill on this table since the bill was opened: never write over it.
    const QString stored = store_.slotOf(table_);
    if (SlotOccupied(stored) && stored != header_.billId && stored != slotAtOpen_)
        throw StoreError(QStringLiteral("这张桌子刚刚有了另一张账单（可能来自手机点餐），这次修改没有保存。"
                                        "请关闭点餐窗口，再重新打开这张桌子。"));
    if (stored != slotValue)
        store_.writeSlot(table_, slotValue);
    return slotValue;
}

void BillDocument::announceSlot(const QString& value) {
    if (stepDepth_ > 0) {
        slotToAnnounce_ = value;
        return;
    }
    Q_EMIT slotStored(table_, value);
}

BillDocument::Snapshot BillDocument::snapshot() const {
    return {header_, lines_, selectedLine_};
}

void BillDocument::restore(const Snapshot& saved) {
    header_ = saved.header;
    lines_ = saved.lines;
    selectedLine_ = saved.selectedLine;
    Q_EMIT linesChanged();
    computeTotals();
}

void BillDocument::commitWithBill(Transaction& step) {
    // Lines a phone added to this bill count in the totals written now.
    reloadLines();
    computeTotals();
    const std::optional<QString> slot = persistBill();
    step.commit();
    if (slot)
        announceSlot(*slot);
}

BillDocument::SaveResult BillDocument::save() {
    Transaction step(db_);
    commitWithBill(step);
    return ReadNumber(header_.receivable) == 0 ? SaveResult::NothingToSave : SaveResult::Saved;
}

void BillDocument::checkOut() {
    slotToStore_.clear();
    leaveState_ = QStringLiteral("yes");
}

void BillDocument::reloadLines() {
    QHash<QString, QString> marks;
    for (const OrderLine& line : lines_)
        marks.insert(line.lineId, line.kitchenMark);
    QList<OrderLine> fresh = store_.lines(header_.billId);
    for (OrderLine& line : fresh)
        line.kitchenMark = marks.contains(line.lineId) ? marks.value(line.lineId)
                                                       : (line.category == kDishes ? kMark : QString());
    if (fresh == lines_)
        return;
    lines_ = fresh;
    selectedLine_ = -1;
    Q_EMIT linesChanged();
    computeTotals();
}

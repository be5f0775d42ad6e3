#include "bill/BillDocument.h"

#include "bill/KitchenLedger.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/Fen.h"
#include "store/Ids.h"
#include "store/NumberText.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString kLeft = QStringLiteral("yes");

QString toggled(const QString& mark) {
    return mark.isEmpty() ? kMark : QString();
}

// A line as another writer could have changed it: the kitchen mark lives only in the document, and what the
// kitchen has is no change of the order.
bool sameStoredLine(OrderLine a, OrderLine b) {
    a.kitchenMark.clear();
    b.kitchenMark.clear();
    a.kitchenHas.clear();
    b.kitchenHas.clear();
    return a == b;
}

QString settledElsewhereText() {
    return QStringLiteral("这张账单已在其他地方结账离开，这次修改没有保存。");
}

QString deletedElsewhereText() {
    return QStringLiteral("这张账单已被删除，这次修改没有保存。");
}

QString anotherBillText() {
    return QStringLiteral("这张桌子刚刚有了另一张账单（可能来自手机点餐），这次修改没有保存。"
                          "请关闭点餐窗口，再重新打开这张桌子。");
}

// The rate a paid amount is of 应收, as the 折扣 box takes it: the fewest decimals whose discount (实收 =
// 应收 × rate, whole) gives back what was paid, else four decimals.
QString DiscountRateText(qint64 paidFen, qint64 receivableFen) {
    const double ratio = static_cast<double>(paidFen) / static_cast<double>(receivableFen);
    const double receivable = static_cast<double>(receivableFen) / 100;
    double scale = 1;
    for (int decimals = 1; decimals <= 4; ++decimals) {
        scale *= 10;
        const double rate = std::round(ratio * scale) / scale;
        if (decimals == 4 || StoredFen(FormatWhole(receivable * rate)) == paidFen)
            return NumberText(rate);
    }
    return NumberText(ratio);
}

QString lineGoneText() {
    return QStringLiteral("这道菜已不在账单中（可能刚在手机上删除），这次修改没有保存。");
}

} // namespace

BillDocument::BillDocument(Database& db, QObject* parent) : QObject(parent), db_(db), store_(db) {}

void BillDocument::openTable(int table, const QString& tableName, const QDateTime& now) {
    // A slot holds a bill only when it is a 14-character id, as the tile shows it; anything else (a damaged
    // value) is a free table that gets a new bill.
    std::optional<Transaction> reading;
    if (!db_.inTransaction())
        reading.emplace(db_, Transaction::Kind::Read);
    const QString slot = store_.slotOf(table);
    const bool occupied = SlotOccupied(slot);
    const std::optional<BillHeader> stored = occupied ? store_.header(slot) : std::nullopt;
    BillHeader header = stored.value_or(BillHeader());
    header.tableName = tableName;
    // A new bill's id is only a likely one until its first line reserves it under the write lock.
    header.billId = occupied ? slot : store_.unusedBillId(now);
    header.openedText = BillTimeText(header.billId);
    table_ = table;
    closedBill_ = false;
    openedAt_ = now;
    slotAtOpen_ = slot;
    startEditing(header, stored, occupied ? linesWithKitchen(slot) : QList<OrderLine>());
    state_.bound = occupied;
}

void BillDocument::openClosedBill(const QString& billId) {
    std::optional<Transaction> reading;
    if (!db_.inTransaction())
        reading.emplace(db_, Transaction::Kind::Read);
    std::optional<BillHeader> header = store_.header(billId);
    if (!header)
        throw StoreError(QStringLiteral("账单 %1 已不存在。").arg(billId));
    header->openedText = header->storedDate.left(10) + QStringLiteral(" 00:00");
    table_ = -1;
    closedBill_ = true;
    openedAt_ = QDateTime();
    slotAtOpen_.clear();
    startEditing(*header, header, linesWithKitchen(billId));
    state_.bound = true;
    closedAsOpened_ = *header;
}

void BillDocument::restorePaidDiscount() {
    const BillHeader& header = state_.header;
    const qint64 receivable = StoredFen(header.receivable);
    const qint64 paid = StoredFen(header.received) + StoredFen(header.credit);
    // A bill given away whole has no rate the box takes: 0 there means no discount.
    if (header.received.trimmed().isEmpty() || receivable <= 0 || paid <= 0 || paid >= receivable)
        return;
    state_.discount = DiscountRateText(paid, receivable);
    state_.receivedRule = ReceivedRule::FromDiscount;
    state_.discountCoversCredit = true;
}

// The stored lines with what the kitchen has of each, so the first edit after opening already knows which
// lines a change takes back from the kitchen.
QList<OrderLine> BillDocument::linesWithKitchen(const QString& billId) {
    QList<OrderLine> lines = store_.lines(billId);
    const QHash<QString, QString> kitchenHas = KitchenLedger(db_).quantities(billId);
    for (OrderLine& line : lines)
        line.kitchenHas = kitchenHas.value(line.lineId);
    return lines;
}

void BillDocument::startEditing(const BillHeader& header, const std::optional<BillHeader>& stored,
                                const QList<OrderLine>& lines) {
    state_ = State{};
    state_.header = header;
    state_.stored = stored;
    state_.lines = lines;
    if (closedBill_)
        restorePaidDiscount();
    leaving_ = false;
    gone_.clear();
    stepDepth_ = 0;
    slotToAnnounce_.reset();
    Q_EMIT opened();
    Q_EMIT linesChanged();
    computeTotals();
}

QStringList BillDocument::sortKeys() const {
    QStringList keys;
    keys.reserve(state_.lines.size());
    for (const OrderLine& line : state_.lines)
        keys.append(line.sortKey);
    return keys;
}

int BillDocument::selectedLine() const {
    if (state_.selectedLineId.isEmpty())
        return -1;
    for (int i = 0; i < state_.lines.size(); ++i)
        if (state_.lines.at(i).lineId == state_.selectedLineId)
            return i;
    return -1;
}

void BillDocument::setTyped(BillField field, QString BillHeader::*member, const QString& text) {
    state_.header.*member = text;
    state_.typed |= field;
}

void BillDocument::setCustomerName(const QString& text) {
    setTyped(BillField::CustomerName, &BillHeader::customerName, text);
}

void BillDocument::setPhone(const QString& text) {
    setTyped(BillField::Phone, &BillHeader::phone, text);
}

void BillDocument::setBillRemark(const QString& text) {
    setTyped(BillField::Remark, &BillHeader::remark, text);
}

void BillDocument::setGuests(const QString& text) {
    setTyped(BillField::Guests, &BillHeader::guests, text);
}

void BillDocument::setReceived(const QString& text) {
    afterOwnAction();
    state_.receivedRule = ReceivedRule::Typed;
    setTyped(BillField::Received, &BillHeader::received, text);
}

void BillDocument::setCredit(const QString& text) {
    setTyped(BillField::Credit, &BillHeader::credit, text);
}

void BillDocument::storeFields() {
    if (state_.typed)
        applyStep([](QStringList&) {});
}

int BillDocument::addItem(const MenuRecord& record, const QDateTime& now) {
    afterOwnAction();
    QString added;
    applyStep([&](QStringList& own) {
        // Counted on the bill as stored now, lines from phones included.
        const int count = static_cast<int>(state_.lines.size());
        OrderLine line{
            record.category, record.name,   record.quantity,    record.unit, record.price,
            record.amount,   record.remark, record.kitchenMark, QString(),   SortKey(record.toText(), count),
            QString()};
        line.lineId = store_.unusedLineId(now, count);
        store_.addLine(billId(), state_.header.billDate(), line, actor_, now);
        added = line.lineId;
        own.append(added);
    });
    // The grid is filled anew: no line stays selected for 删除 to take by surprise.
    state_.selectedLineId.clear();
    Q_EMIT selectionChanged(-1);
    for (int i = 0; i < state_.lines.size(); ++i)
        if (state_.lines.at(i).lineId == added)
            return i;
    return -1;
}

void BillDocument::editStoredLine(int line, const std::function<void(OrderLine&)>& edit) {
    if (line < 0 || line >= state_.lines.size())
        return;
    OrderLine shown = state_.lines.at(line);
    edit(shown);
    shown.amount = NumberText(ReadNumber(shown.quantity) * ReadNumber(shown.price));
    if (shown == state_.lines.at(line))
        return;
    afterOwnAction();
    const QString lineId = shown.lineId;
    applyStep([&](QStringList& own) {
        // The edit applies to the line as stored now: a remark a phone changed meanwhile stays.
        std::optional<OrderLine> changed = store_.line(billId(), lineId);
        if (!changed)
            throw BillChangedElsewhere(lineGoneText());
        const OrderLine before = *changed;
        edit(*changed);
        changed->amount = NumberText(ReadNumber(changed->quantity) * ReadNumber(changed->price));
        BillStore::CheckLineWidths(*changed);
        if (*changed == before)
            return;
        store_.changeLine(billId(), *changed);
        own.append(lineId);
        recordPrice(before, *changed);
        for (const OrderLine& shownLine : std::as_const(state_.lines))
            if (shownLine.lineId == lineId && !shownLine.kitchenHas.isEmpty() &&
                changed->quantity != before.quantity)
                tellKitchen({{shownLine, changed->quantity}});
    });
}

void BillDocument::setQuantity(int line, const QString& text) {
    editStoredLine(line, [&](OrderLine& changed) { changed.quantity = text; });
}

void BillDocument::setPrice(int line, const QString& text) {
    editStoredLine(line, [&](OrderLine& changed) { changed.price = text; });
}

void BillDocument::setRemark(int line, const QString& text) {
    editStoredLine(line, [&](OrderLine& changed) { changed.remark = text; });
}

void BillDocument::toggleServed(int line) {
    if (line < 0 || line >= state_.lines.size())
        return;
    const QString lineId = state_.lines.at(line).lineId;
    afterOwnAction();
    applyStep([&](QStringList& own) {
        std::optional<OrderLine> changed = store_.line(billId(), lineId);
        if (!changed)
            throw BillChangedElsewhere(lineGoneText());
        changed->served = toggled(changed->served);
        store_.changeLine(billId(), *changed);
        own.append(lineId);
    });
    for (int i = 0; i < state_.lines.size(); ++i)
        if (state_.lines.at(i).lineId == lineId)
            selectLine(i);
}

void BillDocument::toggleKitchenMark(int line) {
    if (line < 0 || line >= state_.lines.size())
        return;
    state_.lines[line].kitchenMark = toggled(state_.lines.at(line).kitchenMark);
    Q_EMIT lineChanged(line);
    selectLine(line);
}

void BillDocument::sentToKitchen(const QStringList& lineIds) {
    for (int i = 0; i < state_.lines.size(); ++i)
        if (lineIds.contains(state_.lines.at(i).lineId) && !state_.lines.at(i).kitchenMark.isEmpty()) {
            state_.lines[i].kitchenMark.clear();
            Q_EMIT lineChanged(i);
        }
    followStored();
}

bool BillDocument::marksNewLine(const OrderLine& line) const {
    return kitchen_.marksNewLine ? kitchen_.marksNewLine(line) : line.category == kDishes;
}

// Inside the step of the change: what the kitchen has that is taken back goes into the action trail with
// who and why, and the kitchen hears of every change.
void BillDocument::tellKitchen(const QList<KitchenChange>& changes) {
    const QString reason = std::exchange(takeBackReason_, QString());
    const QString approver = std::exchange(takeBackApprover_, QString());
    QString takeBack;
    for (const KitchenChange& change : changes) {
        const double had = ReadNumber(change.line.kitchenHas);
        const double now = change.quantityNow.isEmpty() ? 0 : ReadNumber(change.quantityNow);
        if (now >= had)
            continue;
        ActionTrail(db_).append(
            Action{actor_, trail_action::kReturnDish, state_.header.tableName, billId(),
                   QStringLiteral("%1 %2%3 → %4%3")
                       .arg(change.line.name, change.line.kitchenHas, change.line.unit, NumberText(now)),
                   reason, approver, QString()});
        takeBack = reason.isEmpty() ? QStringLiteral("工号 %1").arg(actor_)
                                    : QStringLiteral("%1（工号 %2）").arg(reason, actor_);
        if (!approver.isEmpty())
            takeBack += QStringLiteral("，店长 %1 批准").arg(approver);
    }
    if (kitchen_.tell && !changes.isEmpty() &&
        kitchen_.tell(billId(), state_.header.tableName, changes, takeBack))
        kitchenTold_ = true;
}

void BillDocument::appendTrail(const QString& action, const QString& content, const QString& approver,
                               const QString& reason) {
    ActionTrail(db_).append(
        Action{actor_, action, state_.header.tableName, billId(), content, reason, approver, QString()});
}

void BillDocument::recordReopening() {
    if (!closedBill_ || state_.reopenRecorded)
        return;
    QString content =
        QStringLiteral("应收 %1，实收 %2").arg(closedAsOpened_.receivable, closedAsOpened_.received);
    if (ReadNumber(closedAsOpened_.credit) != 0)
        content += QStringLiteral("，挂账 %1").arg(closedAsOpened_.credit);
    appendTrail(trail_action::kReopenBill, content, reopenApprover_, reopenReason_);
    state_.reopenRecorded = true;
}

// The amounts a checkout settles (or a closed bill's save corrects): less received than receivable is a
// discount, and an amount on the customer's account is 挂账; each is recorded when it changed.
void BillDocument::recordAmounts(const std::optional<BillHeader>& before) {
    if (!leaving_ && !closedBill_)
        return;
    const QString approver = std::exchange(amountsApprover_, QString());
    const BillHeader& now = state_.header;
    const BillHeader was = before.value_or(BillHeader());
    const auto shortfall = [](const BillHeader& header) {
        if (header.received.trimmed().isEmpty())
            return 0.0;
        return ReadNumber(header.receivable) - ReadNumber(header.received) - ReadNumber(header.credit);
    };
    const bool settledBefore = closedBill_ || was.leaveState == kLeft;
    if (shortfall(now) > 0.005 && (!settledBefore || std::abs(shortfall(now) - shortfall(was)) > 0.005 ||
                                   now.received != was.received)) {
        QString content =
            QStringLiteral("应收 %1：实收 %2 → %3")
                .arg(now.receivable, was.received.isEmpty() ? QStringLiteral("无") : was.received,
                     now.received);
        if (state_.receivedRule == ReceivedRule::FromDiscount)
            content += QStringLiteral("（折扣 %1）").arg(state_.discount);
        appendTrail(trail_action::kDiscount, content, approver);
    }
    if (ReadNumber(now.credit) != ReadNumber(was.credit) && (ReadNumber(now.credit) != 0 || settledBefore))
        appendTrail(trail_action::kOnAccount,
                    QStringLiteral("挂账 %1 → %2")
                        .arg(was.credit.isEmpty() ? QStringLiteral("0") : was.credit,
                             now.credit.isEmpty() ? QStringLiteral("0") : now.credit),
                    approver);
}

void BillDocument::recordPrice(const OrderLine& before, const OrderLine& after) {
    if (ReadNumber(before.price) == ReadNumber(after.price))
        return;
    appendTrail(trail_action::kChangePrice,
                QStringLiteral("%1 单价 %2 → %3").arg(after.name, before.price, after.price), QString());
}

bool BillDocument::selectLine(int row) {
    if (row < 0)
        state_.selectedLineId.clear();
    if (row < 0 || row + 1 > state_.lines.size()) {
        Q_EMIT selectionChanged(-1);
        return false;
    }
    state_.selectedLineId = state_.lines.at(row).lineId;
    Q_EMIT selectionChanged(row);
    return true;
}

void BillDocument::deleteSelected() {
    if (selectedLine() < 0)
        return;
    const QString lineId = state_.selectedLineId;
    afterOwnAction();
    applyStep([&](QStringList& own) {
        for (const OrderLine& line : std::as_const(state_.lines))
            if (line.lineId == lineId && !line.kitchenHas.isEmpty())
                tellKitchen({{line, QString()}});
        // A line a phone deleted a moment ago is gone either way.
        store_.removeLine(billId(), lineId);
        KitchenLedger(db_).forgetLine(billId(), lineId);
        own.append(lineId);
    });
    state_.selectedLineId.clear();
    Q_EMIT selectionChanged(-1);
}

void BillDocument::runAsOneStep(const std::function<void()>& edits) {
    const State before = state_;
    Transaction step(db_);
    ++stepDepth_;
    try {
        edits();
        step.commit();
    } catch (...) {
        --stepDepth_;
        if (stepDepth_ == 0)
            slotToAnnounce_.reset();
        state_ = before;
        Q_EMIT linesChanged();
        Q_EMIT totalsChanged();
        throw;
    }
    --stepDepth_;
    if (stepDepth_ == 0 && slotToAnnounce_)
        announceSlot(*std::exchange(slotToAnnounce_, std::nullopt));
}

void BillDocument::applyStep(const std::function<void(QStringList& ownLines)>& edit) {
    if (!gone_.isEmpty())
        throw BillChangedElsewhere(gone_);
    const State before = state_;
    std::optional<QString> slot;
    try {
        Transaction step(db_);
        resolveStoredBill();
        // Whatever others stored since the last look is part of the bill this edit applies to.
        takeStored({});
        QStringList own;
        edit(own);
        if (!own.isEmpty()) {
            recordReopening();
            takeStored(own);
        }
        pendingSlot_.reset();
        persistBill(false, !own.isEmpty());
        slot = pendingSlot_;
        step.commit();
    } catch (const StoreError&) {
        state_ = before;
        kitchenTold_ = false;
        Q_EMIT linesChanged();
        Q_EMIT totalsChanged();
        throw;
    }
    if (slot)
        announceSlot(*slot);
    if (std::exchange(kitchenTold_, false))
        Q_EMIT kitchenTicketsWritten();
}

void BillDocument::resolveStoredBill() {
    if (closedBill_) {
        store_.checkBillNotClaimed(billId());
        if (!store_.hasBill(billId()))
            markGone(deletedElsewhereText());
        return;
    }
    store_.checkTableNotClaimed(table_);
    const QString slot = store_.slotOf(table_);
    if (!state_.bound) {
        // A phone or another counter may have started a bill on this table since it was opened here: this
        // edit joins it. Otherwise the new bill's id is reserved now, under the write lock.
        if (SlotOccupied(slot))
            slotAtOpen_ = slot;
        state_.header.billId = SlotOccupied(slot) ? slot : store_.unusedBillId(openedAt_);
        state_.header.openedText = BillTimeText(state_.header.billId);
        state_.bound = true;
        return;
    }
    if (slot == billId())
        return;
    const std::optional<BillHeader> stored = store_.header(billId());
    if (stored && stored->leaveState == kLeft)
        markGone(settledElsewhereText());
    if (SlotOccupied(slot))
        markGone(anotherBillText());
    if (!stored && state_.stored)
        markGone(deletedElsewhereText());
    // A bill with nothing to pay does not hold its table: the slot may be empty.
}

void BillDocument::markGone(const QString& reason) {
    gone_ = reason;
    leaving_ = false;
    Q_EMIT gone(reason);
    throw BillChangedElsewhere(reason);
}

bool BillDocument::takeStored(const QStringList& ownLines) {
    if (!state_.bound)
        return false;
    const std::optional<BillHeader> stored = store_.header(billId());
    QList<OrderLine> fresh = store_.lines(billId());
    const QHash<QString, QString> kitchenHas = KitchenLedger(db_).quantities(billId());

    QHash<QString, const OrderLine*> shown;
    for (const OrderLine& line : std::as_const(state_.lines))
        shown.insert(line.lineId, &line);
    ChangesElsewhere found;
    QStringList changedElsewhere;
    QSet<QString> freshIds;
    for (OrderLine& line : fresh) {
        freshIds.insert(line.lineId);
        const OrderLine* before = shown.value(line.lineId);
        line.kitchenHas = kitchenHas.value(line.lineId);
        // Marks stay as set here; a new line the kitchen does not have yet is marked by the kitchen's rule.
        line.kitchenMark = before                       ? before->kitchenMark
                           : !line.kitchenHas.isEmpty() ? QString()
                           : marksNewLine(line)         ? kMark
                                                        : QString();
        if (ownLines.contains(line.lineId))
            continue;
        if (!before) {
            ++found.added;
            changedElsewhere.append(line.lineId);
        } else if (!sameStoredLine(*before, line)) {
            ++found.changed;
            changedElsewhere.append(line.lineId);
        }
    }
    for (const OrderLine& line : std::as_const(state_.lines))
        if (!freshIds.contains(line.lineId) && !ownLines.contains(line.lineId))
            ++found.removed;

    const bool linesDiffer = fresh != state_.lines;
    state_.lines = std::move(fresh);
    state_.unseen.added += found.added;
    state_.unseen.changed += found.changed;
    state_.unseen.removed += found.removed;
    if (!state_.selectedLineId.isEmpty() && !freshIds.contains(state_.selectedLineId)) {
        state_.selectedLineId.clear();
        Q_EMIT selectionChanged(-1);
    }

    BillHeader& header = state_.header;
    const BillHeader fieldsBefore = header;
    if (stored) {
        // What was typed here and not stored yet stays as typed; everything else is as stored.
        if (!state_.typed.testFlag(BillField::CustomerName))
            header.customerName = stored->customerName;
        if (!state_.typed.testFlag(BillField::Phone))
            header.phone = stored->phone;
        if (!state_.typed.testFlag(BillField::Remark))
            header.remark = stored->remark;
        if (!state_.typed.testFlag(BillField::Guests))
            header.guests = stored->guests;
        if (!state_.typed.testFlag(BillField::Received))
            header.received = stored->received;
        if (!state_.typed.testFlag(BillField::Credit))
            header.credit = stored->credit;
        header.storedDate = stored->storedDate;
        header.leaveState = stored->leaveState;
    }
    state_.stored = stored;
    const bool fieldsDiffer = header.customerName != fieldsBefore.customerName ||
                              header.phone != fieldsBefore.phone || header.remark != fieldsBefore.remark ||
                              header.guests != fieldsBefore.guests ||
                              header.openedText != fieldsBefore.openedText;
    if (linesDiffer)
        Q_EMIT linesChanged();
    computeTotals();
    followReceivable();
    if (fieldsDiffer)
        Q_EMIT fieldsChanged();
    if (!changedElsewhere.isEmpty())
        Q_EMIT linesChangedElsewhere(changedElsewhere);
    return linesDiffer || fieldsDiffer || header.received != fieldsBefore.received ||
           header.credit != fieldsBefore.credit;
}

void BillDocument::computeTotals() {
    const LineTotals totals = TotalsOfLines(state_.lines);
    BillHeader& header = state_.header;
    header.dishes = totals.dishes;
    header.drinks = totals.drinks;
    header.others = totals.others;
    header.receivable = totals.receivable;
    Q_EMIT totalsChanged();
}

void BillDocument::followReceivable() {
    const double total = ReadNumber(state_.header.receivable);
    QString received;
    if (state_.receivedRule == ReceivedRule::FromDiscount) {
        const double factor = ReadNumber(state_.discount);
        received = FormatWhole(factor == 0 ? total : total * factor);
        if (state_.discountCoversCredit)
            received = FenText(std::max<qint64>(0, StoredFen(received) - StoredFen(state_.header.credit)));
    } else if (state_.receivedRule == ReceivedRule::WholeReceivable) {
        received = NumberText(total);
    } else {
        return;
    }
    // The same 实收 as stored is no change: a reopened bill whose rate gives back its 实收 stays settled.
    const bool asStored = state_.stored && state_.stored->received == received;
    if (received == state_.header.received && (state_.typed.testFlag(BillField::Received) || asStored))
        return;
    state_.header.received = received;
    state_.typed |= BillField::Received;
    Q_EMIT totalsChanged();
}

void BillDocument::applyDiscount(const QString& text) {
    afterOwnAction();
    state_.discount = text;
    state_.discountCoversCredit = false;
    state_.receivedRule = ReceivedRule::FromDiscount;
    state_.typed &= ~BillFields(BillField::Received);
    followReceivable();
}

void BillDocument::fillReceived() {
    afterOwnAction();
    state_.receivedRule = ReceivedRule::WholeReceivable;
    state_.typed &= ~BillFields(BillField::Received);
    followReceivable();
}

void BillDocument::fillCredit() {
    setCredit(NumberText(ReadNumber(state_.header.receivable)));
    Q_EMIT totalsChanged();
}

void BillDocument::persistBill(bool leaving, bool linesTouched) {
    BillHeader& header = state_.header;
    const double total = ReadNumber(header.receivable);
    const bool forTable = !closedBill_ && table_ >= 0;
    if (!state_.stored) {
        // A bill with nothing to pay is not written; what was typed waits for its first line.
        if (total == 0)
            return;
        store_.writeHeader(header, true);
        if (forTable)
            store_.setLeaveState(billId(), leaving ? kLeft : QString());
        state_.createdHere = true;
    } else {
        if (forTable && state_.createdHere && total == 0) {
            // A bill this document started has nothing to pay again: no bill, and the table is as it was
            // before it was opened. Lines it still has keep their id reserved.
            store_.removeHeader(billId());
            if (store_.slotOf(table_) == billId()) {
                store_.writeSlot(table_, slotAtOpen_);
                pendingSlot_ = slotAtOpen_;
            }
            state_.stored.reset();
            state_.createdHere = false;
            state_.bound = !state_.lines.isEmpty();
            return;
        }
        // A bill with nothing to pay is rewritten only when its lines changed now: opening and closing a
        // bill whose lines add up to 0 leaves its row as it was.
        if (total == 0 && !linesTouched)
            return;
        const BillHeader& stored = *state_.stored;
        if (stored.dishes != header.dishes || stored.drinks != header.drinks ||
            stored.others != header.others || stored.receivable != header.receivable)
            store_.writeTotals(header);
        BillFields fields = state_.typed;
        if (forTable && stored.tableName != header.tableName)
            fields |= BillField::TableName;
        if (fields)
            store_.writeFields(header, fields);
        const QString leaveState = leaving ? kLeft : QString();
        if (forTable && total != 0 && stored.leaveState != leaveState)
            store_.setLeaveState(billId(), leaveState);
    }
    state_.typed = {};
    if (forTable && total != 0)
        header.leaveState = leaving ? kLeft : QString();
    BillHeader written = header;
    written.storedDate = header.billDate();
    state_.stored = written;
    if (!forTable)
        return;
    // The table's slot holds the bill while there is something to pay, and is emptied by checkout; a bill
    // with nothing (or less than nothing) to pay leaves it as it was when the bill was opened.
    const QString slotValue = total <= 0 ? slotAtOpen_ : leaving ? QString() : billId();
    if (store_.slotOf(table_) != slotValue)
        store_.writeSlot(table_, slotValue);
    pendingSlot_ = slotValue;
}

void BillDocument::announceSlot(const QString& value) {
    if (stepDepth_ > 0) {
        slotToAnnounce_ = value;
        return;
    }
    Q_EMIT slotStored(table_, value);
}

BillDocument::SaveResult BillDocument::save() {
    if (!gone_.isEmpty())
        throw BillChangedElsewhere(gone_);
    const State before = state_;
    std::optional<QString> slot;
    try {
        Transaction step(db_);
        resolveStoredBill();
        takeStored({});
        // Checkout settles the bill the user has looked at: what others changed since is asked about first.
        if (leaving_ && state_.unseen.any())
            return SaveResult::ChangedElsewhere;
        takePayments();
        pendingSlot_.reset();
        const std::optional<BillHeader> storedBefore = state_.stored;
        if (state_.typed)
            recordReopening();
        // A paid bill settled anew is written even when its lines come to 0.
        persistBill(leaving_, closedBill_ && payments_.has_value());
        recordAmounts(storedBefore);
        storePayments();
        slot = pendingSlot_;
        step.commit();
    } catch (const StoreError&) {
        state_ = before;
        Q_EMIT linesChanged();
        Q_EMIT totalsChanged();
        throw;
    }
    payments_.reset();
    if (slot)
        announceSlot(*slot);
    return ReadNumber(state_.header.receivable) == 0 ? SaveResult::NothingToSave : SaveResult::Saved;
}

void BillDocument::checkOut() {
    leaving_ = true;
}

void BillDocument::checkOut(const PaymentTally& payments) {
    payments_ = payments;
    // A closed bill has left already: its save only settles it anew.
    leaving_ = !closedBill_;
}

void BillDocument::cancelCheckOut() {
    leaving_ = false;
    payments_.reset();
}

qint64 BillDocument::amountDue() const {
    const BillHeader& header = state_.header;
    const bool setHere = state_.receivedRule != ReceivedRule::AsStored;
    if ((closedBill_ && !setHere) || header.received.trimmed().isEmpty())
        return StoredFen(header.receivable);
    return StoredFen(header.received) + StoredFen(header.credit);
}

bool BillDocument::needsSettling() const {
    return closedBill_ &&
           (state_.reopenRecorded || state_.typed.testAnyFlags(BillField::Received | BillField::Credit));
}

QList<StoredPayment> BillDocument::standingPayments() {
    std::optional<Transaction> reading;
    if (!db_.inTransaction())
        reading.emplace(db_, Transaction::Kind::Read);
    return PaymentBook(db_).standingOf(billId());
}

void BillDocument::takePayments() {
    if (!payments_)
        return;
    // The payments were counted against the bill as it was shown; one that changed since is paid anew.
    if (payments_->due() != std::max<qint64>(0, amountDue()))
        throw BillChangedElsewhere(
            QStringLiteral("账单金额刚有变动（应收 %1），这次结账没有完成，请重新收款。")
                .arg(state_.header.receivable));
    BillHeader& header = state_.header;
    if (payments_->payments().isEmpty()) {
        // Nothing to collect (a bill of 0 or less): a table's bill keeps its amounts; a paid bill settled
        // anew has its payments reversed, so its books say nothing was received either.
        if (closedBill_) {
            header.received = FenText(0);
            header.credit.clear();
            state_.typed |= BillField::Received;
            state_.typed |= BillField::Credit;
        }
        return;
    }
    header.received = FenText(payments_->received());
    header.credit = payments_->credit() == 0 ? QString() : FenText(payments_->credit());
    state_.typed |= BillField::Received;
    state_.typed |= BillField::Credit;
}

void BillDocument::storePayments() {
    // A bill with nothing to pay has no row, and no payments either.
    if (!payments_ || !state_.stored)
        return;
    const PaymentContext context{actor_, QDateTime::currentDateTime(),
                                 shiftLookup_ ? shiftLookup_() : shift_};
    PaymentBook book(db_);
    // Settling anew replaces what was paid before: reversed, never deleted.
    book.reverseAll(billId(), context);
    book.record(billId(), payments_->payments(), context);
}

bool BillDocument::followStored() {
    if (!gone_.isEmpty() || stepDepth_ > 0 || db_.inTransaction())
        return false;
    const Transaction reading(db_, Transaction::Kind::Read);
    if (closedBill_) {
        if (!store_.hasBill(billId())) {
            gone_ = deletedElsewhereText();
            Q_EMIT gone(gone_);
            return true;
        }
        return takeStored({});
    }
    const QString slot = store_.slotOf(table_);
    if (!state_.bound) {
        if (!SlotOccupied(slot))
            return false;
        // A phone started a bill on this table meanwhile: the window shows it, and edits go to it.
        state_.header.billId = slot;
        state_.header.openedText = BillTimeText(slot);
        state_.bound = true;
        slotAtOpen_ = slot;
        takeStored({});
        return true;
    }
    if (slot != billId()) {
        const std::optional<BillHeader> stored = store_.header(billId());
        QString reason;
        if (stored && stored->leaveState == kLeft)
            reason = QStringLiteral("这张账单已在其他地方结账离开。");
        else if (SlotOccupied(slot))
            reason = QStringLiteral("这张桌子现在是另一张账单。");
        else if (!stored && state_.stored)
            reason = QStringLiteral("这张账单已被删除。");
        if (!reason.isEmpty()) {
            gone_ = reason;
            leaving_ = false;
            Q_EMIT gone(reason);
            return true;
        }
    }
    return takeStored({});
}

QString BillDocument::changesElsewhereText() const {
    const ChangesElsewhere& changes = state_.unseen;
    const QString who = closedBill_ ? QStringLiteral("其他收银台") : QStringLiteral("手机");
    const QString& total = state_.header.receivable;
    if (changes.changed == 0 && changes.removed == 0)
        return QStringLiteral("%1刚加了 %2 道菜，应收 %3").arg(who).arg(changes.added).arg(total);
    QStringList parts;
    if (changes.added > 0)
        parts.append(QStringLiteral("加了 %1 道菜").arg(changes.added));
    if (changes.changed > 0)
        parts.append(QStringLiteral("改了 %1 道菜").arg(changes.changed));
    if (changes.removed > 0)
        parts.append(QStringLiteral("删了 %1 道菜").arg(changes.removed));
    return QStringLiteral("%1刚改了这张账单（%2），应收 %3")
        .arg(who, parts.join(QStringLiteral("，")), total);
}

void BillDocument::acknowledgeChanges() {
    state_.unseen = {};
}

void BillDocument::afterOwnAction() {
    acknowledgeChanges();
}

#include "bill/TableRegroup.h"

#include "bill/BillStore.h"
#include "bill/KitchenLedger.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/Fen.h"
#include "store/NumberText.h"
#include "store/StoreError.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace {

// Quantities are split exactly, in ten-thousandths.
constexpr qint64 kQuantityScale = 10000;
constexpr int kQuantityDecimals = 4;
// The largest quantity and price a line is split at, so every product below fits in 64 bits.
constexpr qint64 kMostUnits = 1000 * kQuantityScale;
constexpr qint64 kMostPriceFen = 10'000'000;

const QString kStampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

std::optional<qint64> ParseUnits(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{1,9})(?:\\.(\\d{1,4}))?$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString decimals = match.captured(2).leftJustified(kQuantityDecimals, QLatin1Char('0'));
    return match.captured(1).toLongLong() * kQuantityScale + decimals.toLongLong();
}

// The value scaled by 10^decimals as the program writes numbers: shortest form, no trailing zeros.
QString ScaledText(qint64 value, int decimals) {
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    const qint64 magnitude = value < 0 ? -value : value;
    QString text = sign + QString::number(magnitude / scale);
    QString fraction = QString::number(magnitude % scale).rightJustified(decimals, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (!fraction.isEmpty())
        text += QLatin1Char('.') + fraction;
    return text;
}

QString UnitsText(qint64 units) {
    return ScaledText(units, kQuantityDecimals);
}

// The price at which `units` of a line come to exactly `fen`, as text; nullopt when no price of at most
// six decimals does.
std::optional<QString> PriceFor(qint64 fen, qint64 units) {
    qint64 scaled = fen * kQuantityScale;
    for (int extra = 0; extra <= 4; ++extra, scaled *= 10)
        if (scaled % units == 0)
            return ScaledText(scaled / units, 2 + extra);
    return std::nullopt;
}

struct PartPrice {
    QString price;
    QString amount;
};

// How a line of `units` at `price` (amount `lineFen` as the bill counts it) splits into the moved part and
// the part that stays: each keeps the price when its amount is whole fen; otherwise the moved part gets the
// fen below its share and the rest stays, each at the price that gives its amount exactly.
std::pair<PartPrice, PartPrice> SplitPrices(const QString& price, qint64 lineFen, qint64 units,
                                            qint64 movedUnits) {
    const std::optional<qint64> priceFen = ParseFen(price);
    if (!priceFen || *priceFen < 0 || *priceFen > kMostPriceFen || units > kMostUnits)
        throw StoreError(QStringLiteral("这道菜的单价或数量太大，无法拆开，请整道菜拆出。"));
    const qint64 stayingUnits = units - movedUnits;
    const qint64 movedShare = movedUnits * *priceFen; // in ten-thousandths of a fen
    const qint64 stayingShare = stayingUnits * *priceFen;
    if (movedShare % kQuantityScale == 0 && stayingShare % kQuantityScale == 0 &&
        (movedShare + stayingShare) / kQuantityScale == lineFen)
        return {{price, FenText(movedShare / kQuantityScale)},
                {price, FenText(stayingShare / kQuantityScale)}};
    const qint64 movedFen = movedShare / kQuantityScale;
    const qint64 stayingFen = lineFen - movedFen;
    const std::optional<QString> movedPrice = PriceFor(movedFen, movedUnits);
    const std::optional<QString> stayingPrice = PriceFor(stayingFen, stayingUnits);
    if (!movedPrice || !stayingPrice)
        throw StoreError(QStringLiteral("拆出这个数量后金额无法精确到分，请换一个数量。"));
    return {{*movedPrice, FenText(movedFen)}, {*stayingPrice, FenText(stayingFen)}};
}

void ThrowStale() {
    throw StoreError(QStringLiteral("账单刚在别处有变动，这次没有保存，请重新打开再试。"));
}

} // namespace

void TableRegroup::checkNothingReceived(const QString& billId, const QString& step) {
    const std::optional<BillHeader> bill = BillStore(db_).header(billId);
    if (bill && (StoredFen(bill->received) != 0 || StoredFen(bill->credit) != 0))
        throw StoreError(
            QStringLiteral("%1 的账单已填了实收或挂账，请先在点餐窗口清掉再%2。").arg(bill->tableName, step));
}

QString TableRegroup::tableNameOf(const QString& billId) {
    const std::optional<BillHeader> header = BillStore(db_).header(billId);
    return header ? header->tableName : QString();
}

void TableRegroup::writeTotalsOfLines(const QString& billId) {
    BillStore store(db_);
    const LineTotals totals = TotalsOfLines(store.lines(billId));
    BillHeader header;
    header.billId = billId;
    header.dishes = totals.dishes;
    header.drinks = totals.drinks;
    header.others = totals.others;
    header.receivable = totals.receivable;
    store.writeTotals(header);
}

void TableRegroup::moveWholeLine(const QString& from, const QString& to, const QString& lineId) {
    Statement line(db_, "UPDATE \"明细\" SET \"id\" = ? WHERE \"id\" = ? AND \"序号\" = ?");
    line.bind(1, to).bind(2, from).bind(3, lineId).run();
    Statement kitchen(db_, "UPDATE \"送厨记录\" SET \"账单\" = ? WHERE \"账单\" = ? AND \"序号\" = ?");
    kitchen.bind(1, to).bind(2, from).bind(3, lineId).run();
}

void TableRegroup::moveQuantity(const QString& from, const QString& to, const QString& lineId,
                                qint64 movedUnits, const QDateTime& now, int lineCount) {
    BillStore store(db_);
    OrderLine staying = *store.line(from, lineId);
    const qint64 units = *ParseUnits(staying.quantity);
    const auto [movedPrice, stayingPrice] =
        SplitPrices(staying.price, StoredFen(staying.amount), units, movedUnits);

    Statement origin(db_, "SELECT \"日期\", \"点菜人\", \"点菜时间\" FROM \"明细\" WHERE \"id\" = ? AND "
                          "\"序号\" = ?");
    origin.bind(1, from).bind(2, lineId);
    origin.next();
    OrderLine moved = staying;
    moved.lineId = store.unusedLineId(now, lineCount);
    moved.quantity = UnitsText(movedUnits);
    moved.price = movedPrice.price;
    moved.amount = movedPrice.amount;
    store.addLine(to, origin.text(0), moved, origin.text(1),
                  QDateTime::fromString(origin.text(2), kStampFormat));
    staying.quantity = UnitsText(units - movedUnits);
    staying.price = stayingPrice.price;
    staying.amount = stayingPrice.amount;
    store.changeLine(from, staying);

    // Each printer's share moves with the part, as much of it as the part has; the rows carry that
    // printer's last ticket, so the split writes none.
    for (const KitchenHolding& holding : KitchenLedger(db_).holdingsOfLine(from, lineId)) {
        const qint64 held = ParseUnits(holding.quantity).value_or(0);
        const qint64 share = std::min(held, movedUnits);
        if (share <= 0)
            continue;
        Statement last(db_, "SELECT \"任务\" FROM \"送厨记录\" WHERE \"账单\" = ? AND \"序号\" = ? AND "
                            "\"打印机\" = ? ORDER BY rowid DESC");
        last.bind(1, from).bind(2, lineId).bind(3, holding.printer);
        const QString job = last.next() ? last.text(0) : QString();
        const QDateTime at = QDateTime::fromString(holding.lastTime, kStampFormat);
        KitchenLedger ledger(db_);
        ledger.record(from, lineId, holding.printer, job, holding.lastTicket.toInt(), UnitsText(-share), at);
        ledger.record(to, moved.lineId, holding.printer, job, holding.lastTicket.toInt(), UnitsText(share),
                      at);
    }
}

QString TableRegroup::split(int source, int target, const QString& targetName, const QList<SplitPart>& parts,
                            const QDateTime& now) {
    BillStore store(db_);
    Transaction step(db_);
    store.checkTableNotClaimed(source);
    store.checkTableNotClaimed(target);
    const QStringList slots = store.slots(std::max(source, target) + 1);
    const QString from = slots.value(source);
    if (source == target || from.isEmpty())
        ThrowStale();
    if (!slots.value(target).isEmpty())
        throw StoreError(QStringLiteral("%1 已有客人，请另选一张空桌。").arg(targetName));
    // 实收 and 挂账 were typed for the whole bill: they would no longer match either part.
    checkNothingReceived(from, trail_action::kSplitBill);

    QSet<QString> chosen;
    int wholeLines = 0;
    const QList<OrderLine> lines = store.lines(from);
    for (const SplitPart& part : parts) {
        const std::optional<OrderLine> line = store.line(from, part.lineId);
        if (!line || chosen.contains(part.lineId))
            ThrowStale();
        chosen.insert(part.lineId);
        const std::optional<qint64> moving = ParseUnits(part.quantity);
        if (!moving || *moving <= 0)
            throw StoreError(QStringLiteral("%1 的拆出数量“%2”不对。").arg(line->name, part.quantity));
        const std::optional<qint64> has = ParseUnits(line->quantity);
        if (part.quantity.trimmed() == line->quantity || (has && *moving == *has))
            ++wholeLines;
        else if (!has || *moving > *has)
            throw StoreError(QStringLiteral("%1 只有 %2%3，拆不出 %4。")
                                 .arg(line->name, line->quantity, line->unit, part.quantity));
    }
    if (chosen.isEmpty())
        throw StoreError(QStringLiteral("请先填写要拆出的数量。"));
    if (wholeLines == lines.size())
        throw StoreError(QStringLiteral("全部菜品都拆出时，请用转台。"));

    BillHeader bill;
    bill.billId = store.unusedBillId(now);
    bill.tableName = targetName;
    bill.openedText = now.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    store.writeHeader(bill, true);
    store.setLeaveState(bill.billId, QString());
    QStringList moved;
    int added = 0;
    for (const SplitPart& part : parts) {
        const OrderLine line = *store.line(from, part.lineId);
        const qint64 units = *ParseUnits(part.quantity);
        if (part.quantity.trimmed() == line.quantity || ParseUnits(line.quantity) == units)
            moveWholeLine(from, bill.billId, part.lineId);
        else
            moveQuantity(from, bill.billId, part.lineId, units, now, lines.size() + added++);
        moved.append(QStringLiteral("%1 %2%3").arg(line.name, UnitsText(units), line.unit));
    }
    writeTotalsOfLines(from);
    writeTotalsOfLines(bill.billId);
    store.writeSlot(target, bill.billId);
    const QString sourceName = tableNameOf(from);
    ActionTrail(db_).append(
        Action{staff_, trail_action::kSplitBill, sourceName, from,
               QStringLiteral("%1 → %2（%3）：%4")
                   .arg(sourceName, targetName, bill.billId, moved.join(QStringLiteral("、"))),
               QString(), approver_, QString()});
    step.commit();
    return bill.billId;
}

void TableRegroup::merge(int target, const QList<int>& sources, const QDateTime& now) {
    BillStore store(db_);
    Transaction step(db_);
    store.checkTableNotClaimed(target);
    for (const int source : sources)
        store.checkTableNotClaimed(source);
    const int most = std::max(target, sources.isEmpty() ? 0 : *std::ranges::max_element(sources));
    const QStringList slots = store.slots(most + 1);
    const QString into = slots.value(target);
    if (into.isEmpty() || sources.isEmpty() || sources.contains(target) ||
        QSet<int>(sources.cbegin(), sources.cend()).size() != sources.size())
        ThrowStale();
    checkNothingReceived(into, trail_action::kMergeTables);
    for (const int source : sources)
        checkNothingReceived(slots.value(source), trail_action::kMergeTables);

    QStringList joined;
    for (const int source : sources) {
        const QString from = slots.value(source);
        if (from.isEmpty())
            ThrowStale();
        Statement record(db_,
                         "INSERT INTO \"并台记录\" (\"账单\", \"来源账单\", \"餐桌\", \"序号\", \"时间\") "
                         "VALUES (?, ?, ?, ?, ?)");
        Statement clash(db_, "SELECT count(*) FROM \"明细\" WHERE \"id\" = ? AND \"序号\" = ?");
        for (const OrderLine& line : store.lines(from)) {
            clash.reset();
            clash.bind(1, into).bind(2, line.lineId);
            if (clash.next() && clash.integer(0) > 0)
                throw StoreError(QStringLiteral("两张账单有编号相同的菜品，无法并台。"));
            record.reset();
            record.bind(1, into).bind(2, from).bind(3, QString::number(source)).bind(4, line.lineId);
            record.bind(5, now.toString(kStampFormat)).run();
        }
        Statement lines(db_, "UPDATE \"明细\" SET \"id\" = ? WHERE \"id\" = ?");
        lines.bind(1, into).bind(2, from).run();
        Statement kitchen(db_, "UPDATE \"送厨记录\" SET \"账单\" = ? WHERE \"账单\" = ?");
        kitchen.bind(1, into).bind(2, from).run();
        writeTotalsOfLines(from);
        store.setLeaveState(from, MergedState());
        store.writeSlot(source, QString());
        joined.append(tableNameOf(from));
    }
    writeTotalsOfLines(into);
    const QString targetName = tableNameOf(into);
    ActionTrail(db_).append(
        Action{staff_, trail_action::kMergeTables, targetName, into,
               QStringLiteral("%1 → %2").arg(joined.join(QStringLiteral("、")), targetName), QString(),
               approver_, QString()});
    step.commit();
}

QList<int> TableRegroup::mergedTables(const QString& billId) {
    QList<int> tables;
    if (billId.isEmpty())
        return tables;
    Statement query(db_, "SELECT DISTINCT \"餐桌\" FROM \"并台记录\" WHERE \"账单\" = ?");
    query.bind(1, billId);
    while (query.next())
        tables.append(query.text(0).toInt());
    std::ranges::sort(tables);
    return tables;
}

void TableRegroup::undoMerge(int target) {
    BillStore store(db_);
    Transaction step(db_);
    store.checkTableNotClaimed(target);
    const QString into = store.slotOf(target);
    struct Joined {
        QString bill;
        int table = -1;
        QStringList lineIds;
    };
    QList<Joined> joined;
    Statement rows(db_, "SELECT \"来源账单\", \"餐桌\", \"序号\" FROM \"并台记录\" WHERE \"账单\" = ? "
                        "ORDER BY rowid");
    rows.bind(1, into);
    while (!into.isEmpty() && rows.next()) {
        if (joined.isEmpty() || joined.last().bill != rows.text(0))
            joined.append({rows.text(0), rows.text(1).toInt(), {}});
        joined.last().lineIds.append(rows.text(2));
    }
    if (joined.isEmpty())
        throw StoreError(QStringLiteral("这张桌的账单没有可撤销的并台。"));
    // 实收 and 挂账 typed for the joined bill would stay on it after its lines went back: the table would be
    // asked for the others' dishes as well.
    checkNothingReceived(into, trail_action::kUndoMerge);
    for (const Joined& bill : std::as_const(joined)) {
        store.checkTableNotClaimed(bill.table);
        if (!store.slotOf(bill.table).isEmpty())
            throw StoreError(QStringLiteral("%1 已有新的客人，无法撤销并台。").arg(tableNameOf(bill.bill)));
    }

    QStringList restored;
    for (const Joined& bill : std::as_const(joined)) {
        for (const QString& lineId : bill.lineIds)
            moveWholeLine(into, bill.bill, lineId);
        writeTotalsOfLines(bill.bill);
        restored.append(tableNameOf(bill.bill));
        // A bill whose every line was taken back meanwhile has nothing to put back on its table.
        if (store.lines(bill.bill).isEmpty())
            continue;
        store.setLeaveState(bill.bill, QString());
        store.writeSlot(bill.table, bill.bill);
    }
    writeTotalsOfLines(into);
    Statement forget(db_, "DELETE FROM \"并台记录\" WHERE \"账单\" = ?");
    forget.bind(1, into).run();
    const QString targetName = tableNameOf(into);
    ActionTrail(db_).append(
        Action{staff_, trail_action::kUndoMerge, targetName, into,
               QStringLiteral("%1 → %2").arg(targetName, restored.join(QStringLiteral("、"))), QString(),
               approver_, QString()});
    step.commit();
}

#include "stats/Shifts.h"

#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/Fen.h"
#include "store/Schema.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <algorithm>

namespace {

// A time after every stored one: the end of a shift still open.
const QString kOpenEnd = QStringLiteral("9999-12-31 23:59:59");

Shift ShiftFromRow(const Statement& row) {
    Shift shift;
    shift.id = row.text(0).toLongLong();
    shift.staff = row.text(1);
    shift.counter = row.text(2);
    shift.start = row.text(3);
    shift.end = row.text(4);
    shift.floatFen = StoredFen(row.text(5));
    if (!shift.end.isEmpty()) {
        shift.countedFen = StoredFen(row.text(6));
        shift.expectedFen = StoredFen(row.text(7));
    }
    return shift;
}

constexpr const char* kShiftColumns = "SELECT \"编号\", \"工号\", \"收银台\", \"开始\", \"结束\", "
                                      "\"备用金\", \"实点\", \"应有\" FROM \"班次\" ";

// Payment methods in the order the checkout offers them, and which of them is the drawer's cash.
struct Methods {
    QStringList ordered;
    QSet<QString> cash{kCashMethod};
};

Methods ReadMethods(Database& db) {
    Statement query(db, "SELECT \"名称\", \"排序\", \"现金\" FROM \"支付方式\" ORDER BY rowid");
    QList<std::pair<int, QString>> rows;
    Methods methods;
    while (query.next()) {
        rows.append({query.text(1).toInt(), query.text(0)});
        if (query.text(2) == QLatin1String("1"))
            methods.cash.insert(query.text(0));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });
    for (const auto& row : rows)
        methods.ordered.append(row.second);
    return methods;
}

// One row of 收款 as the drawer sees it: what stayed with the restaurant (tendered less change). A
// reversal takes its payment's amount back, whichever sign it was stored with.
struct Payment {
    QString method;
    QString bill;
    QString staff;
    qint64 netFen = 0;
    bool reversal = false;
};

Payment PaymentFromRow(const Statement& row) {
    Payment payment;
    payment.method = row.text(0);
    payment.bill = row.text(1);
    payment.staff = row.text(5);
    const qint64 net = StoredFen(row.text(2)) - StoredFen(row.text(3));
    payment.reversal = !row.text(4).trimmed().isEmpty();
    payment.netFen = payment.reversal ? -std::abs(net) : net;
    return payment;
}

QList<Payment> ShiftPayments(Database& db, const Shift& shift) {
    Statement query(db, "SELECT \"方式\", \"单号\", \"金额\", \"找零\", \"冲销\", \"工号\" FROM \"收款\" "
                        "WHERE \"班次\" = ? OR ((\"班次\" IS NULL OR \"班次\" = '') AND \"工号\" = ? "
                        "AND \"时间\" >= ? AND \"时间\" <= ?) ORDER BY rowid");
    query.bind(1, QString::number(shift.id)).bind(2, shift.staff).bind(3, shift.start);
    query.bind(4, shift.open() ? kOpenEnd : shift.end);
    QList<Payment> payments;
    while (query.next())
        payments.append(PaymentFromRow(query));
    return payments;
}

QList<MethodTotal> TotalsByMethod(const QList<Payment>& payments, const Methods& methods) {
    QStringList order = methods.ordered;
    for (const Payment& payment : payments)
        if (!order.contains(payment.method))
            order.append(payment.method);
    QList<MethodTotal> totals;
    for (const QString& method : order) {
        bool used = false;
        qint64 fen = 0;
        for (const Payment& payment : payments)
            if (payment.method == method) {
                used = true;
                fen += payment.netFen;
            }
        if (used)
            totals.append({method, fen});
    }
    return totals;
}

QList<CashEntry> ReadCashEntries(Database& db, qint64 shiftId) {
    Statement query(db, "SELECT \"时间\", \"金额\", \"说明\", \"工号\" FROM \"现金出入\" WHERE \"班次\" = ? "
                        "ORDER BY rowid");
    query.bind(1, QString::number(shiftId));
    QList<CashEntry> entries;
    while (query.next())
        entries.append({query.text(0), StoredFen(query.text(1)), query.text(2), query.text(3)});
    return entries;
}

// What a set of bills adds up to: what was let off (应收 − 实收 − 挂账金额) and how many guests they served.
struct BillSums {
    qint64 discountFen = 0;
    int guests = 0;
};

BillSums SumBills(Database& db, const QSet<QString>& bills) {
    Statement query(db, "SELECT \"应收\", \"实收\", \"挂账金额\", \"人数\" FROM \"桌台\" WHERE \"id\" = ?");
    BillSums sums;
    for (const QString& bill : bills) {
        query.reset();
        query.bind(1, bill);
        if (!query.next())
            continue;
        sums.discountFen += StoredFen(query.text(0)) - StoredFen(query.text(1)) - StoredFen(query.text(2));
        // A count not given (or not a number) adds nothing.
        sums.guests += std::max(0, query.text(3).trimmed().toInt());
    }
    return sums;
}

// 退菜 and 反结账 of each 工号 between the times, added to their figures.
void AddTrailCounts(Database& db, const QString& from, const QString& to,
                    QMap<QString, StaffFigures>& byStaff) {
    Statement query(db, "SELECT \"工号\", \"动作\", count(*) FROM \"操作记录\" WHERE \"时间\" >= ? AND "
                        "\"时间\" <= ? AND (\"动作\" = ? OR \"动作\" = ?) GROUP BY \"工号\", \"动作\"");
    query.bind(1, from).bind(2, to).bind(3, trail_action::kReturnDish).bind(4, trail_action::kReopenBill);
    while (query.next()) {
        StaffFigures& figures = byStaff[query.text(0)];
        (query.text(1) == trail_action::kReturnDish ? figures.returns : figures.reopens) +=
            static_cast<int>(query.integer(2));
    }
}

QString StaffName(Database& db, const QString& staff) {
    Statement query(db, "SELECT \"姓名\" FROM \"员工\" WHERE \"工号\" = ?");
    query.bind(1, staff);
    return query.next() ? query.text(0) : QString();
}

// Each 工号's payments of the shift, the bills they closed with them and those bills' discounts, with the
// trail's counts of the shift's time.
QList<StaffFigures> FiguresByStaff(Database& db, const QList<Payment>& payments, const Shift& shift) {
    QMap<QString, StaffFigures> byStaff;
    QHash<QString, QSet<QString>> billsOf;
    for (const Payment& payment : payments) {
        byStaff[payment.staff].takenFen += payment.netFen;
        if (!payment.reversal)
            billsOf[payment.staff].insert(payment.bill);
    }
    AddTrailCounts(db, shift.start, shift.open() ? kOpenEnd : shift.end, byStaff);
    QList<StaffFigures> figures;
    for (auto it = byStaff.begin(); it != byStaff.end(); ++it) {
        StaffFigures& one = it.value();
        one.staff = it.key();
        one.name = StaffName(db, one.staff);
        const QSet<QString> bills = billsOf.value(one.staff);
        one.bills = static_cast<int>(bills.size());
        const BillSums sums = SumBills(db, bills);
        one.discountFen = sums.discountFen;
        one.guests = sums.guests;
        figures.append(one);
    }
    return figures;
}

ShiftReport ComputeReport(Database& db, const Shift& shift) {
    ShiftReport report;
    report.shift = shift;
    const Methods methods = ReadMethods(db);
    const QList<Payment> payments = ShiftPayments(db, shift);
    report.methods = TotalsByMethod(payments, methods);
    QSet<QString> bills;
    for (const Payment& payment : payments) {
        report.takenFen += payment.netFen;
        if (methods.cash.contains(payment.method))
            report.cashTakenFen += payment.netFen;
        if (!payment.reversal)
            bills.insert(payment.bill);
    }
    report.entries = ReadCashEntries(db, shift.id);
    for (const CashEntry& entry : report.entries)
        report.cashInOutFen += entry.fen;
    report.expectedFen = shift.floatFen + report.cashTakenFen + report.cashInOutFen;
    if (shift.countedFen)
        report.differenceFen = *shift.countedFen - report.expectedFen;
    report.bills = static_cast<int>(bills.size());
    const BillSums sums = SumBills(db, bills);
    report.discountFen = sums.discountFen;
    report.guests = sums.guests;
    report.staff = FiguresByStaff(db, payments, shift);
    return report;
}

Shift RequireShift(Database& db, qint64 id) {
    const std::optional<Shift> shift = ShiftById(db, id);
    if (!shift)
        throw StoreError(QStringLiteral("没有班次 %1。").arg(id));
    return *shift;
}

Shift RequireOpenShift(Database& db, qint64 id) {
    const Shift shift = RequireShift(db, id);
    if (!shift.open())
        throw StoreError(QStringLiteral("班次 %1 已于 %2 交班。").arg(id).arg(shift.end));
    return shift;
}

} // namespace

qint64 StartShift(Database& db, const QString& staff, const QString& counter, qint64 floatFen,
                  const QDateTime& now) {
    if (floatFen < 0)
        throw StoreError(QStringLiteral("备用金不能是负数。"));
    CheckWidths(QStringLiteral("班次"), {{"工号", staff}, {"收银台", counter}});
    Transaction step(db);
    if (const std::optional<Shift> open = OpenShiftOf(db, staff))
        throw StoreError(QStringLiteral("工号 %1 的班次 %2 还没有交班（%3 开始）。")
                             .arg(staff)
                             .arg(open->id)
                             .arg(open->start));
    Statement last(db, "SELECT max(CAST(\"编号\" AS INTEGER)) FROM \"班次\"");
    const qint64 id = (last.next() ? last.integer(0) : 0) + 1;
    Statement insert(db,
                     "INSERT INTO \"班次\" (\"编号\", \"工号\", \"收银台\", \"开始\", \"结束\", \"备用金\", "
                     "\"实点\", \"应有\") VALUES (?, ?, ?, ?, '', ?, '', '')");
    insert.bind(1, QString::number(id)).bind(2, staff).bind(3, counter);
    insert.bind(4, now.toString(kShiftTimeFormat)).bind(5, FenText(floatFen)).run();
    step.commit();
    return id;
}

std::optional<Shift> OpenShiftOf(Database& db, const QString& staff) {
    Statement query(
        db, (QByteArray(kShiftColumns) + "WHERE \"工号\" = ? AND \"结束\" = '' ORDER BY rowid").constData());
    query.bind(1, staff);
    if (!query.next())
        return std::nullopt;
    return ShiftFromRow(query);
}

QString OpenShiftStamp(Database& db, const QString& staff) {
    const std::optional<Shift> shift = OpenShiftOf(db, staff);
    return shift ? QString::number(shift->id) : QString();
}

std::optional<Shift> ShiftById(Database& db, qint64 id) {
    Statement query(db, (QByteArray(kShiftColumns) + "WHERE \"编号\" = ?").constData());
    query.bind(1, QString::number(id));
    if (!query.next())
        return std::nullopt;
    return ShiftFromRow(query);
}

QList<Shift> ShiftsStartedBetween(Database& db, const QString& from, const QString& to) {
    Statement query(
        db, (QByteArray(kShiftColumns) + "WHERE \"开始\" >= ? AND \"开始\" < ? ORDER BY \"开始\", rowid")
                .constData());
    query.bind(1, from).bind(2, to);
    QList<Shift> shifts;
    while (query.next())
        shifts.append(ShiftFromRow(query));
    return shifts;
}

void AddCashEntry(Database& db, qint64 shiftId, qint64 fen, const QString& note, const QString& staff,
                  const QDateTime& now) {
    if (fen == 0)
        throw StoreError(QStringLiteral("金额不能为 0。"));
    CheckWidths(QStringLiteral("现金出入"), {{"说明", note}, {"工号", staff}});
    Transaction step(db);
    RequireOpenShift(db, shiftId);
    Statement last(db, "SELECT max(CAST(\"序号\" AS INTEGER)) FROM \"现金出入\"");
    const qint64 serial = (last.next() ? last.integer(0) : 0) + 1;
    Statement insert(db,
                     "INSERT INTO \"现金出入\" (\"序号\", \"班次\", \"金额\", \"说明\", \"时间\", \"工号\") "
                     "VALUES (?, ?, ?, ?, ?, ?)");
    insert.bind(1, QString::number(serial)).bind(2, QString::number(shiftId)).bind(3, FenText(fen));
    insert.bind(4, note).bind(5, now.toString(kShiftTimeFormat)).bind(6, staff).run();
    step.commit();
}

ShiftReport ReportShift(Database& db, qint64 shiftId) {
    Transaction snapshot(db, Transaction::Kind::Read);
    return ComputeReport(db, RequireShift(db, shiftId));
}

ShiftReport EndShift(Database& db, qint64 shiftId, qint64 countedFen, const QDateTime& now) {
    if (countedFen < 0)
        throw StoreError(QStringLiteral("实点现金不能是负数。"));
    Transaction step(db);
    Shift shift = RequireOpenShift(db, shiftId);
    shift.end = now.toString(kShiftTimeFormat);
    shift.countedFen = countedFen;
    ShiftReport report = ComputeReport(db, shift);
    report.shift.expectedFen = report.expectedFen;
    Statement update(db, "UPDATE \"班次\" SET \"结束\" = ?, \"实点\" = ?, \"应有\" = ? "
                         "WHERE \"编号\" = ? AND \"结束\" = ''");
    update.bind(1, shift.end).bind(2, FenText(countedFen)).bind(3, FenText(report.expectedFen));
    update.bind(4, QString::number(shiftId)).run();
    step.commit();
    return report;
}

Takings TakingsBetween(Database& db, const QString& from, const QString& to) {
    Statement query(db, "SELECT \"方式\", \"单号\", \"金额\", \"找零\", \"冲销\", \"工号\" FROM \"收款\" "
                        "WHERE \"时间\" >= ? AND \"时间\" < ? ORDER BY rowid");
    query.bind(1, from).bind(2, to);
    QList<Payment> payments;
    while (query.next())
        payments.append(PaymentFromRow(query));
    Takings takings;
    takings.methods = TotalsByMethod(payments, ReadMethods(db));
    QSet<QString> bills;
    for (const Payment& payment : payments) {
        takings.takenFen += payment.netFen;
        if (!payment.reversal)
            bills.insert(payment.bill);
    }
    takings.bills = static_cast<int>(bills.size());
    const BillSums sums = SumBills(db, bills);
    takings.discountFen = sums.discountFen;
    takings.guests = sums.guests;
    return takings;
}

QString YuanText(qint64 fen) {
    const qint64 magnitude = std::abs(fen);
    return QStringLiteral("%1%2.%3")
        .arg(fen < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 100)
        .arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

QList<ReportRow> ShiftReportRows(const ShiftReport& report) {
    const Shift& shift = report.shift;
    QList<ReportRow> rows{{QStringLiteral("班次"), QString::number(shift.id)},
                          {QStringLiteral("收银员"), shift.staff},
                          {QStringLiteral("开始"), shift.start},
                          {QStringLiteral("结束"), shift.open() ? QStringLiteral("未交班") : shift.end},
                          {QStringLiteral("收款"), {}}};
    for (const MethodTotal& total : report.methods)
        rows.append({total.method, YuanText(total.fen)});
    rows.append({QStringLiteral("合计"), YuanText(report.takenFen)});
    rows.append({QStringLiteral("账单数"), QString::number(report.bills)});
    rows.append({QStringLiteral("人数"), QString::number(report.guests)});
    rows.append({QStringLiteral("优惠"), YuanText(report.discountFen)});
    rows.append({QStringLiteral("现金"), {}});
    rows.append({QStringLiteral("备用金"), YuanText(shift.floatFen)});
    rows.append({QStringLiteral("现金收款"), YuanText(report.cashTakenFen)});
    for (const CashEntry& entry : report.entries)
        rows.append({(entry.fen > 0 ? QStringLiteral("存入 ") : QStringLiteral("取出 ")) + entry.note,
                     YuanText(entry.fen)});
    rows.append({QStringLiteral("应有现金"), YuanText(report.expectedFen)});
    if (shift.countedFen) {
        rows.append({QStringLiteral("实点现金"), YuanText(*shift.countedFen)});
        rows.append({QStringLiteral("差额"), YuanText(report.differenceFen.value_or(0))});
    }
    for (const StaffFigures& figures : report.staff) {
        rows.append({QStringLiteral("员工 %1 %2").arg(figures.staff, figures.name).trimmed(), {}});
        rows.append({QStringLiteral("结账单数"), QString::number(figures.bills)});
        rows.append({QStringLiteral("人数"), QString::number(figures.guests)});
        rows.append({QStringLiteral("收款金额"), YuanText(figures.takenFen)});
        rows.append({QStringLiteral("优惠金额"), YuanText(figures.discountFen)});
        rows.append({QStringLiteral("退菜次数"), QString::number(figures.returns)});
        rows.append({QStringLiteral("反结账次数"), QString::number(figures.reopens)});
    }
    return rows;
}

QDate BusinessDayOf(const QDateTime& moment, const QTime& dayEnd) {
    return moment.time() < dayEnd ? moment.date().addDays(-1) : moment.date();
}

QDate BusinessDayOfBill(const QString& billId, const QTime& dayEnd) {
    const QDateTime opened = QDateTime::fromString(billId.left(14), QStringLiteral("yyyyMMddHHmmss"));
    return opened.isValid() ? BusinessDayOf(opened, dayEnd) : QDate();
}

std::pair<QString, QString> BusinessDaySpan(const QDate& day, const QTime& dayEnd) {
    return {QDateTime(day, dayEnd).toString(kShiftTimeFormat),
            QDateTime(day.addDays(1), dayEnd).toString(kShiftTimeFormat)};
}

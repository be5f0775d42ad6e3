#include "stats/DayClose.h"

#include "stats/Shifts.h"
#include "store/ActionTrail.h"
#include "store/Database.h"
#include "store/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

QString RowsText(const QList<ReportRow>& rows) {
    QJsonArray array;
    for (const ReportRow& row : rows)
        array.append(QJsonArray{row.label, row.value});
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QList<ReportRow> RowsFromText(const QString& text) {
    QList<ReportRow> rows;
    for (const QJsonValue& value : QJsonDocument::fromJson(text.toUtf8()).array()) {
        const QJsonArray row = value.toArray();
        rows.append({row.at(0).toString(), row.at(1).toString()});
    }
    return rows;
}

// Read here rather than through the staff accounts' module, which the reports must not depend on.
void RequireOwner(Database& db, const QString& staff) {
    Statement query(db, "SELECT 1 FROM \"员工\" WHERE \"工号\" = ? AND \"角色\" = ? AND \"启用\" = '1'");
    query.bind(1, staff).bind(2, QStringLiteral("店长"));
    if (!query.next())
        throw StoreError(QStringLiteral("只有店长可以日结。"));
}

void RequireAllShiftsEnded(const QList<Shift>& shifts) {
    for (const Shift& shift : shifts)
        if (shift.open())
            throw StoreError(QStringLiteral("工号 %1 的班次 %2 还没有交班，交班后才能日结。")
                                 .arg(shift.staff)
                                 .arg(shift.id));
}

QList<ReportRow> CloseRows(Database& db, qint64 number, const QDate& day,
                           const std::pair<QString, QString>& span, const QString& staff,
                           const QString& closedAt, const QList<Shift>& shifts) {
    const auto& [from, to] = span;
    const Takings takings = TakingsBetween(db, from, to);
    QList<ReportRow> rows{{QStringLiteral("日结编号"), QString::number(number)},
                          {QStringLiteral("营业日"), day.toString(kDayFormat)},
                          {QStringLiteral("时段"), from.left(16) + QStringLiteral(" 至 ") + to.left(16)},
                          {QStringLiteral("日结时间"), closedAt},
                          {QStringLiteral("日结人"), staff},
                          {QStringLiteral("收款"), {}}};
    for (const MethodTotal& total : takings.methods)
        rows.append({total.method, YuanText(total.fen)});
    rows.append({QStringLiteral("合计"), YuanText(takings.takenFen)});
    rows.append({QStringLiteral("账单数"), QString::number(takings.bills)});
    rows.append({QStringLiteral("人数"), QString::number(takings.guests)});
    rows.append({QStringLiteral("优惠"), YuanText(takings.discountFen)});
    for (const Shift& shift : shifts) {
        const ShiftReport report = ReportShift(db, shift.id);
        rows.append({QStringLiteral("班次 %1  工号 %2").arg(shift.id).arg(shift.staff), {}});
        rows.append(
            {QStringLiteral("时间"), shift.start.mid(11, 5) + QStringLiteral("–") + shift.end.mid(11, 5)});
        for (const MethodTotal& total : report.methods)
            rows.append({total.method, YuanText(total.fen)});
        rows.append({QStringLiteral("应有现金"), YuanText(report.expectedFen)});
        rows.append({QStringLiteral("实点现金"), YuanText(shift.countedFen.value_or(0))});
        rows.append({QStringLiteral("差额"), YuanText(report.differenceFen.value_or(0))});
    }
    return rows;
}

} // namespace

std::optional<DayClose> DayCloseOf(Database& db, const QDate& businessDay) {
    Statement query(db, "SELECT \"编号\", \"营业日\", \"时间\", \"工号\", \"内容\" FROM \"日结\" "
                        "WHERE \"营业日\" = ?");
    query.bind(1, businessDay.toString(kDayFormat));
    if (!query.next())
        return std::nullopt;
    return DayClose{query.text(0).toLongLong(), QDate::fromString(query.text(1), kDayFormat), query.text(2),
                    query.text(3), RowsFromText(query.text(4))};
}

bool DayClosed(Database& db, const QDate& businessDay) {
    Statement query(db, "SELECT 1 FROM \"日结\" WHERE \"营业日\" = ?");
    query.bind(1, businessDay.toString(kDayFormat));
    return query.next();
}

bool BillDayClosed(Database& db, const QString& billId) {
    const QDate day = BusinessDayOfBill(billId, ReadBusinessDayEnd(db));
    return day.isValid() && DayClosed(db, day);
}

namespace {

// What a close counts: its business day, cut at the close when it is taken before the day ends, and
// begun where the day before was cut, so a payment after an early close goes into the next day's close
// rather than into none.
std::pair<QString, QString> CloseSpan(Database& db, const QDate& day, const QTime& dayEnd,
                                      const QString& closedAt) {
    auto [from, to] = BusinessDaySpan(day, dayEnd);
    if (const std::optional<DayClose> before = DayCloseOf(db, day.addDays(-1));
        before && before->closedAt < from)
        from = before->closedAt;
    return {from, std::min(to, closedAt)};
}

} // namespace

DayClose CloseDay(Database& db, const QDate& businessDay, const QString& staff, const QDateTime& now) {
    Transaction step(db);
    RequireOwner(db, staff);
    const QTime dayEnd = ReadBusinessDayEnd(db);
    if (businessDay > BusinessDayOf(now, dayEnd))
        throw StoreError(
            QStringLiteral("营业日 %1 还没有开始，不能日结。").arg(businessDay.toString(kDayFormat)));
    if (const std::optional<DayClose> closed = DayCloseOf(db, businessDay))
        throw StoreError(QStringLiteral("营业日 %1 已于 %2 日结（第 %3 号），不能再次日结。")
                             .arg(businessDay.toString(kDayFormat))
                             .arg(closed->closedAt)
                             .arg(closed->number));
    const QString closedAt = now.toString(kShiftTimeFormat);
    const std::pair<QString, QString> span = CloseSpan(db, businessDay, dayEnd, closedAt);
    const QList<Shift> shifts = ShiftsStartedBetween(db, span.first, span.second);
    RequireAllShiftsEnded(shifts);
    Statement last(db, "SELECT max(CAST(\"编号\" AS INTEGER)) FROM \"日结\"");
    DayClose close;
    close.number = (last.next() ? last.integer(0) : 0) + 1;
    close.day = businessDay;
    close.closedAt = closedAt;
    close.staff = staff;
    close.rows = CloseRows(db, close.number, businessDay, span, staff, close.closedAt, shifts);
    Statement insert(db, "INSERT INTO \"日结\" (\"编号\", \"营业日\", \"时间\", \"工号\", \"内容\") "
                         "VALUES (?, ?, ?, ?, ?)");
    insert.bind(1, QString::number(close.number)).bind(2, businessDay.toString(kDayFormat));
    insert.bind(3, close.closedAt).bind(4, staff).bind(5, RowsText(close.rows)).run();
    step.commit();
    return close;
}

QList<ReopenedAfterClose> ReopeningsAfterClose(Database& db, const DayClose& close) {
    const QTime dayEnd = ReadBusinessDayEnd(db);
    Statement query(db, "SELECT \"时间\", \"单号\", \"工号\", \"批准人\", \"原因\" FROM \"操作记录\" "
                        "WHERE \"动作\" = ? AND \"时间\" >= ? ORDER BY \"时间\", rowid");
    query.bind(1, trail_action::kReopenBill).bind(2, close.closedAt);
    QList<ReopenedAfterClose> reopenings;
    while (query.next())
        if (BusinessDayOfBill(query.text(1), dayEnd) == close.day)
            reopenings.append({query.text(0), query.text(1), query.text(2), query.text(3), query.text(4)});
    return reopenings;
}

QList<ReportRow> DayCloseRows(const DayClose& close, const QList<ReopenedAfterClose>& reopenings) {
    QList<ReportRow> rows = close.rows;
    if (reopenings.isEmpty())
        return rows;
    rows.append({QStringLiteral("日结后反结账 %1 次").arg(reopenings.size()), {}});
    for (const ReopenedAfterClose& reopening : reopenings)
        rows.append(
            {reopening.time.mid(5, 11) + QLatin1Char(' ') + reopening.bill,
             QStringLiteral("%1 批准 %2 %3").arg(reopening.staff, reopening.approver, reopening.reason)});
    return rows;
}

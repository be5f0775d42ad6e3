#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <optional>

class Database;

// A cashier's shift at the drawer (班次): started with a float, cash put in or taken out during it, ended by
// counting the drawer. Its payments are those of 收款 stamped with its 编号, and those left unstamped that
// its cashier (工号) took between its start and its end: a stamp is exact even when counters' clocks differ,
// and the time window still counts payments written by a step that stamps nothing.

// One row of a report (交班, 日结) as the window shows it and the printer prints it: a label and its
// value; a row without a value is a heading.
struct ReportRow {
    QString label;
    QString value;
    bool operator==(const ReportRow&) const = default;
};

// Times as stored: yyyy-MM-dd HH:mm:ss.
inline const QString kShiftTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

struct Shift {
    qint64 id = 0;   // 编号
    QString staff;   // 工号 of the cashier
    QString counter; // which counter it was started at
    QString start;
    QString end; // empty while open
    qint64 floatFen = 0;
    std::optional<qint64> countedFen;  // once ended
    std::optional<qint64> expectedFen; // once ended: what the drawer should have held
    bool open() const { return end.isEmpty(); }
};

// 现金出入: positive puts cash into the drawer, negative takes it out.
struct CashEntry {
    QString time;
    qint64 fen = 0;
    QString note;
    QString staff;
};

// Net takings of one payment method: tendered less change, reversals subtracted.
struct MethodTotal {
    QString method;
    qint64 fen = 0;
    bool operator==(const MethodTotal&) const = default;
};

// One 工号's part of the shift: the bills they took payments for, what those payments came to, what was
// let off on those bills, and the 退菜 and 反结账 the action trail has of them.
struct StaffFigures {
    QString staff;
    QString name; // 姓名, empty for a 工号 no longer in 员工
    int bills = 0;
    qint64 takenFen = 0;
    qint64 discountFen = 0;
    int returns = 0;
    int reopens = 0;
    int guests = 0; // 人数 of those bills
    bool operator==(const StaffFigures&) const = default;
};

struct ShiftReport {
    Shift shift;
    QList<MethodTotal> methods; // in the order of 支付方式; a method nobody paid with is left out
    qint64 takenFen = 0;        // all methods together
    qint64 cashTakenFen = 0;    // of which cash
    QList<CashEntry> entries;
    qint64 cashInOutFen = 0;
    qint64 expectedFen = 0;              // float + cash taken + cash in/out
    std::optional<qint64> differenceFen; // counted − expected, once counted
    int bills = 0;                       // bills the shift took a payment for
    qint64 discountFen = 0;              // 应收 − 实收 − 挂账金额 of those bills
    int guests = 0;                      // 人数 of those bills, each bill once
    QList<StaffFigures> staff;           // by 工号
};

// Starts a shift for the 工号 with the float; its 编号. Throws StoreError when the 工号 has an open shift
// or the float is negative.
qint64 StartShift(Database& db, const QString& staff, const QString& counter, qint64 floatFen,
                  const QDateTime& now);
// The 工号's open shift, if any.
std::optional<Shift> OpenShiftOf(Database& db, const QString& staff);
// What the checkout stamps into 收款.班次 for a payment the 工号 takes: the 编号 of their open shift, or
// empty when none is open. Read inside the checkout's own step.
QString OpenShiftStamp(Database& db, const QString& staff);
std::optional<Shift> ShiftById(Database& db, qint64 id);
// Shifts started on or after `from` and before `to` (times as stored), oldest first.
QList<Shift> ShiftsStartedBetween(Database& db, const QString& from, const QString& to);

// Records cash put in (fen > 0) or taken out (fen < 0) of the open shift's drawer. Throws StoreError for
// an amount of 0, an ended shift, or a note longer than its column.
void AddCashEntry(Database& db, qint64 shiftId, qint64 fen, const QString& note, const QString& staff,
                  const QDateTime& now);

// The report of a shift as stored now; an open shift's report runs up to now.
ShiftReport ReportShift(Database& db, qint64 shiftId);
// Ends the open shift with the counted cash in one step and returns its report. Throws StoreError when it
// has ended already.
ShiftReport EndShift(Database& db, qint64 shiftId, qint64 countedFen, const QDateTime& now);

// Every payment whose time lies in [from, to), whoever took it: totals per method, bills and discounts.
struct Takings {
    QList<MethodTotal> methods;
    qint64 takenFen = 0;
    int bills = 0;
    qint64 discountFen = 0;
    int guests = 0;
};
Takings TakingsBetween(Database& db, const QString& from, const QString& to);

// The report as rows for the window and the printer.
QList<ReportRow> ShiftReportRows(const ShiftReport& report);

// The business day a moment belongs to: its date, or the day before when it lies before `dayEnd`.
QDate BusinessDayOf(const QDateTime& moment, const QTime& dayEnd);
// The business day of a bill by its id (yyyyMMddHHmmss, when it was opened); null for another id.
QDate BusinessDayOfBill(const QString& billId, const QTime& dayEnd);
// Where a business day begins and ends (the end excluded), as stored times.
std::pair<QString, QString> BusinessDaySpan(const QDate& day, const QTime& dayEnd);

// Amount text for people: "12.50".
QString YuanText(qint64 fen);

#pragma once

#include "stats/Shifts.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

class Database;

// The day's close (日结, a Z report): once per business day (see BusinessDayOf in stats/Shifts.h), by a
// 店长, numbered 1, 2, 3 … and kept as it was closed. Bills of a closed day are reopened only with a 店长's
// approval and a reason, and the report's reprint lists them.

struct DayClose {
    qint64 number = 0;     // 编号
    QDate day;             // 营业日
    QString closedAt;      // yyyy-MM-dd HH:mm:ss
    QString staff;         // 工号 of the 店长 who closed it
    QList<ReportRow> rows; // the report as it was closed
};

// A 反结账 of a bill of the day after its close.
struct ReopenedAfterClose {
    QString time;
    QString bill;
    QString staff;
    QString approver;
    QString reason;
};

bool DayClosed(Database& db, const QDate& businessDay);
// True when the bill (id yyyyMMddHHmmss) belongs to a business day that has been closed.
bool BillDayClosed(Database& db, const QString& billId);
std::optional<DayClose> DayCloseOf(Database& db, const QDate& businessDay);

// Closes the business day in one step: the day's payments per method and per shift, counted and stored.
// Throws StoreError when `staff` is no enabled 店长, the day is closed already, has not begun yet, or a
// shift that began in it is still open.
DayClose CloseDay(Database& db, const QDate& businessDay, const QString& staff, const QDateTime& now);

QList<ReopenedAfterClose> ReopeningsAfterClose(Database& db, const DayClose& close);
// The rows to print: the stored report, then the reopenings since (for a reprint).
QList<ReportRow> DayCloseRows(const DayClose& close, const QList<ReopenedAfterClose>& reopenings);

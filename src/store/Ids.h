#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

// Identifiers made from the clock and the small text rules every window shares.

// Bill id: the opening time "yyyymmddhhmmss" (14 digits; lexical order is time order).
QString BillId(const QDateTime& openedAt);

// Line id 序号: the time the line was added "yymmddhhmmss" followed by the last three digits of the
// number of lines already in the order, zero-padded (n = 7 gives "007", n = 2468 gives "468").
QString LineId(const QDateTime& addedAt, int linesBefore);

// Sort key 排序 of a new line: 1000 + n for dishes, 2000 + n for drinks ("酒水"), 3000 + n for other goods
// ("其他"), decided by the first two characters of the menu record.
QString SortKey(const QString& recordOrCategory, int linesBefore);

// "yyyy-mm-dd hh:mm" from the first twelve digits of a bill id.
QString BillTimeText(const QString& billId);

// Menu names are stored with braces instead of square brackets; readers turn them back.
QString EscapeBrackets(const QString& name);
QString RestoreBrackets(const QString& stored);

// "yyyy-mm-dd" as used in date boxes and stored dates.
QString DateText(const QDate& date);

// The date one calendar month earlier, clamped to the month's last day (2024-03-31 -> 2024-02-29).
QDate OneMonthBack(const QDate& date);

// A date as a user types it: 2024-03-01, 2024-3-1, 2024/03/01, 2024.3.1. Nothing else.
std::optional<QDate> ParseUserDate(const QString& text);

// A slot holds an open bill exactly when its text is 14 characters long.
inline bool SlotOccupied(const QString& slot) {
    return slot.size() == 14;
}

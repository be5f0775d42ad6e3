#pragma once

#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

class Database;

// The one row of 综合设置.
struct SettingsRow {
    QString restaurantName; // 餐馆名称
    QString phone;          // 电话
    QString address;        // 地址
    QString leftMargin;     // 左边距
    QString topMargin;      // 上边距
    QString password;       // 密码
    QString mobileOrdering; // 手机点餐
};

// Reads the settings row; nullopt when the table holds no row.
std::optional<SettingsRow> ReadSettingsRow(Database& db);

// The occupation slots "0".."count-1" as texts (NULL reads as empty).
QStringList ReadSlots(Database& db, int count);

// Writes one slot column; index must lie in 0..50. Runs inside the caller's transaction if there is one.
void WriteSlot(Database& db, int index, const QString& billId);

// Name of slot column i, as SQL identifier text (only ever built from a number).
QByteArray SlotColumnSql(int index);

// 手机送厨: whether orders from phones go to the kitchen printers by themselves (only "0" means no).
bool ReadPhoneOrdersToKitchen(Database& db);
void WritePhoneOrdersToKitchen(Database& db, bool on);

// What a guest with a table's code may order, as the owner set it in 手机点餐.
struct GuestLimits {
    int perDish = 20;     // most of one dish in one order
    int perOrder = 100;   // most of all dishes together in one order
    bool confirm = false; // a waiter confirms each guest order at the counter before it counts
    bool operator==(const GuestLimits&) const = default;
};
GuestLimits ReadGuestLimits(Database& db);
// Throws StoreError (and writes nothing) for a limit below 1 or above 9999.
void WriteGuestLimits(Database& db, const GuestLimits& limits);

// 新单提醒: whether each order from a phone rings at the counter and flashes its table's tile; off unless
// set, since most restaurants have the kitchen printer announce it.
bool ReadNewOrderAlert(Database& db);
void WriteNewOrderAlert(Database& db, bool on);

// 营业日结束: when the restaurant's business day ends, so sales after midnight count to the evening before.
// 04:00 when unset or unreadable.
QTime ReadBusinessDayEnd(Database& db);
// Whole minutes only; throws StoreError (writing nothing) for an invalid time.
void WriteBusinessDayEnd(Database& db, const QTime& end);

#pragma once

#include <QString>
#include <QStringList>
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

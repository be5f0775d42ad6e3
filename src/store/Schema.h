#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>
#include <utility>

class Database;

// Version of the schema this program writes (the file's user_version; a table of its own on a server).
inline constexpr int kSchemaVersion = 10;

// Number of occupation slot columns "0".."50" in 综合设置; only the first 45 belong to tiles.
inline constexpr int kSlotColumns = 51;
inline constexpr int kMaxTables = 45;

// A dish's stored picture: a JPEG of at most this many bytes, kept as base64 text of the column's width.
inline constexpr int kMaxDishPictureBytes = 60 * 1024;
inline constexpr int kDishPictureTextWidth = (kMaxDishPictureBytes + 2) / 3 * 4;

// Creates the five tables, their indexes and the sample rows in one transaction.
void CreateSchema(Database& db);

// Creates the indexes the program's queries rely on, where missing.
void CreateIndexes(Database& db);

// Brings an older file up to kSchemaVersion. Version 2 adds 桌台令牌 (the guest code of each table);
// version 3 adds the printers (打印机), their job queue (打印任务) and the switch 综合设置.手机送厨;
// version 4 adds the claims (占用); version 5 what the kitchen has of each line (送厨记录) and the printers
// a dish goes to (菜单.打印机); version 6 the one-time keys of phone orders (手机订单令牌), guest orders
// waiting for a waiter (待确认订单) and the guests' limits (综合设置.顾客每道限量, 顾客每单限量,
// 顾客订单确认); version 7 the guests' calls for a waiter (呼叫), sold-out dishes (菜单.估清), the groups of
// the phone menu (菜单.分组), the dishes' pictures (菜品图片) and one-line descriptions (菜单.描述);
// version 8 the staff (员工, with the installation's password as the first account's hash; 综合设置.密码
// is emptied), the rights of each role (角色权限), the action trail (操作记录) and who added each bill line
// and when (明细.点菜人, 点菜时间); version 9 the payment methods (支付方式) and each bill's payments (收款);
// version 10 the switch 综合设置.新单提醒 (a sound and a flashing tile for each phone order).
void MigrateSchema(Database& db);

// The first account, which an installation from before the staff accounts signs in as.
inline const QString kFirstStaffId = QStringLiteral("001");

// Creates 员工, 角色权限 and 操作记录 and the two columns of 明细, where missing; with no account yet,
// makes the first one from 综合设置.密码 and empties that. On a server the trail is guarded at once.
void CreateStaffTables(Database& db);

// The payment method whose payments are the drawer's money.
inline const QString kCashMethod = QStringLiteral("现金");

// Creates 支付方式 with the usual methods (现金, 微信, 支付宝, 银行卡, 会员卡/储值, 挂账) when it has none,
// and 收款, where missing.
void CreatePaymentTables(Database& db);

// Creates 并台记录 (the lines a 并台 joined, by source bill and table) with its index, where missing.
void CreateMergeRecords(Database& db);

// Creates 班次 (cashiers' shifts), 现金出入 (cash put in or taken out during one), 日结 (the day's
// closes) and 综合设置.营业日结束 (when the business day ends, 04:00), where missing. On a server 日结
// refuses UPDATE, DELETE and TRUNCATE.
void CreateShiftTables(Database& db);
void GuardDayCloses(Database& db);

// Server only: 操作记录 refuses UPDATE, DELETE and TRUNCATE ("操作记录不能修改或删除"), so its rows can
// only be added. Safe to run again.
void GuardActionTrail(Database& db);

// Creates 桌台令牌 (编号 of the table in 餐桌设置, 令牌 its guest token), where missing.
void CreateTableTokens(Database& db);

// Creates 打印机 and 打印任务 with their indexes, where missing.
void CreatePrintTables(Database& db);

// Creates 送厨记录 and the column 菜单.打印机, where missing.
void CreateKitchenRecords(Database& db);

// Creates 手机订单令牌, 待确认订单 and the guests' limits in 综合设置 (20 a dish, 100 an order, no 确认),
// where missing.
void CreatePhoneOrderTables(Database& db);

// Creates 呼叫 and the columns 菜单.估清 and 菜单.分组, where missing.
void CreateGuestServiceTables(Database& db);

// Creates 菜品图片 (序号 of the dish in 菜单, 时间 when its picture was set, 图片 the JPEG as base64) and the
// column 菜单.描述, where missing.
void CreateDishPictures(Database& db);

// Creates 占用 (who holds which table, bill or service, see store/Claims.h), where missing.
void CreateClaimTable(Database& db);

// Every table of the program's data, in the order a copy writes them. The claims are not data: they belong
// to the programs running on a database, never to a copy of it.
QStringList ProgramTableNames();

// A database a copy is being written into carries this mark until the copy commits; the program refuses
// to start on a marked database, and the next copy replaces it.
void MarkUnfinishedCopy(Database& db);
void ClearUnfinishedCopyMark(Database& db);
bool HasUnfinishedCopyMark(Database& db);
bool HasTable(Database& db, const char* name);
// Refuses (StoreError) a database a copy never finished.
void RefuseUnfinishedCopy(Database& db);

// Maximum length in characters of a text column, or 0 for a column without a limit.
int ColumnWidth(const QString& table, const QString& column);

// Throws ValueTooLong (a StoreError) with a message naming the field when a value is longer than its column.
// Each pair is (column, value).
void CheckWidths(const QString& table, std::initializer_list<std::pair<const char*, QString>> values);

// Length as users count it: characters, not UTF-16 units (an emoji is one character).
int CharacterCount(const QString& text);

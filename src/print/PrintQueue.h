#pragma once

#include "bill/BillDocument.h"
#include "bill/OrderLine.h"
#include "print/BillLayout.h"
#include "print/JobStore.h"
#include "print/Printer.h"
#include "print/Routing.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

class Database;

// What the windows and the phone pages hand to the printers: each call writes jobs into 打印任务 (inside
// the caller's step when there is one) for the spooler of the counter program to send.

// What one send to the kitchen did.
struct KitchenSend {
    int number = 0;              // the ticket number of the day; 0 when no printer got a line
    QList<PrinterLines> tickets; // one job per printer
    QList<OrderLine> unrouted;   // lines no printer takes: kept as a job that is never sent (未送出)
};

// True when an enabled printer prints kitchen tickets; without one, 后厨打印 prints pages as it always did.
bool HasKitchenPrinters(Database& db);

// Routes the lines to the kitchen printers (by dish, else by category) and writes one ticket per printer,
// all under one number of the day. `source` is 收银台, 服务员 or 顾客扫码. Given the bill's id, what each
// printer got is recorded with its ticket (送厨记录), so it is not sent twice and hears of later changes;
// `again` sends lines the kitchen already has once more, on tickets that say 重打, and records nothing.
KitchenSend SendToKitchen(Database& db, const QString& tableName, const QList<OrderLine>& lines,
                          const QString& source, const QDateTime& now, const QString& billId = {},
                          bool again = false);

// The lines marked √ for 后厨打印: those the kitchen does not have yet, and those it has, which go again
// only when asked for.
struct MarkedLines {
    QList<OrderLine> fresh;
    QList<OrderLine> sentBefore;
};
MarkedLines MarkedForKitchen(const QList<OrderLine>& lines);

// For an order from a phone: sends its lines when 手机订单自动送厨 is on and a kitchen printer exists;
// nullopt when phone orders do not go to the kitchen by themselves.
std::optional<KitchenSend> SendPhoneOrderToKitchen(Database& db, const QString& tableName,
                                                   const QList<OrderLine>& lines, const QString& source,
                                                   const QDateTime& now, const QString& billId = {});

// Lines the kitchen already has whose quantity went down or that were deleted print 退菜 for what was
// taken back (with `takeBack`, who and why, as its reason), and those whose quantity went up 加菜 for the
// difference, each on the printers that have the line, in the caller's step. Returns how many tickets were
// written.
int TellKitchenOfChanges(Database& db, const QString& billId, const QString& tableName,
                         const QList<KitchenChange>& changes, const QString& source, const QDateTime& now,
                         const QString& takeBack = {});

// The kitchen's side of an open bill: a new line is marked √ when a kitchen printer takes it (without
// kitchen printers: when it is a dish, as on paper), and a change of a line the kitchen has reaches the
// printers that have it. The printers are read once, when first needed.
KitchenRules KitchenRulesFor(Database& db, const QString& source);

// 重打 of any job: a copy for its printer that says 重打. Kitchen lines no printer took (未送出) go to the
// printers that take them now, as a first ticket; those still without a printer stay 未送出. Returns the
// new jobs' ids; throws StoreError naming the lines no printer takes yet.
QStringList ReprintJob(Database& db, const QString& jobId, const QDateTime& now);

// The lines whose 序号 is listed, in the order of the bill.
QList<OrderLine> LinesWithIds(const QList<OrderLine>& lines, const QStringList& lineIds);

// The lines as a user reads them in a message: "可乐 ×2瓶、米饭 ×1碗".
QString LinesText(const QList<OrderLine>& lines);
// What 后厨打印 tells the user about lines no printer took; empty when every line went out.
QString UnroutedMessage(const KitchenSend& send);

// The bill for the printer set for 账单, when there is one; the job's id, or nullopt when no enabled
// printer prints bills (the page printer prints it then).
std::optional<QString> QueueBill(Database& db, const BillData& bill, const QDateTime& now);
// A report (交班, 日结) for the printer set for 账单; the job's id, or nullopt when no enabled printer prints
// bills.
std::optional<QString> QueueReport(Database& db, const QString& title, const QList<ReportLine>& rows,
                                   const QDateTime& now);
// A test page for the named printer; the job's id.
QString QueueTestPage(Database& db, const QString& printerName, const QDateTime& now);
// A drawer pulse on every enabled printer with 钱箱 set; how many were asked for.
int OpenCashDrawers(Database& db, const QDateTime& now);

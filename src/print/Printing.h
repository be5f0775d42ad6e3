#pragma once

#include "print/BillLayout.h"
#include "print/KitchenTicket.h"

#include <QList>
#include <QPrinter>
#include <QString>
#include <functional>
#include <memory>

class QWidget;
class SettingsStore;

inline const QString kNoKitchenLinesMessage = QStringLiteral("请首先选择需要后厨打印的菜品名称！");
inline const QString kNoPrinterMessage = QStringLiteral("未找到打印机");

// Gives the printer to print on, or null with the reason to tell the user.
using PrinterSource = std::function<std::unique_ptr<QPrinter>(QString& whyNot)>;

// The system default printer; null and "未找到打印机" when none is installed.
std::unique_ptr<QPrinter> DefaultPrinter(QString& whyNot);

// Paints the document page by page; empty when the printer took it, else what went wrong.
QString PrintReceipt(QPrinter& printer, const ReceiptDocument& document);

// The layouts carry their own margins (the settings' 左边距 and 上边距), so a driver's default page margin is
// dropped; only what the printer cannot reach stays unprinted.
void DropDefaultMargins(QPrinter& printer);

// Sets the printer up for an 80 mm receipt roll with a page as long as the document.
void UseReceiptRoll(QPrinter& printer, const ReceiptDocument& document);

// 后厨打印: with no marked line says so and prints nothing; otherwise prints the ticket and reports a missing
// printer or a printer error. Nothing is written and no mark is cleared. True when the ticket was printed.
bool PrintKitchenTicket(QWidget* parent, const KitchenTicketData& ticket,
                        const PrinterSource& printerSource = DefaultPrinter);
// The same with the margins taken from the settings; what the ordering window calls.
void PrintKitchenTicketFor(QWidget* parent, const QString& tableName, const QList<OrderLine>& lines,
                           SettingsStore& settings);

// Prints the bill on an 80 mm receipt roll; reports a missing printer or a printer error. True when printed.
bool PrintBill(QWidget* parent, const BillData& bill, const PrinterSource& printerSource = DefaultPrinter);

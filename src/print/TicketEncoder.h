#pragma once

#include "print/BillLayout.h"
#include "print/JobStore.h"
#include "print/Printer.h"

#include <QByteArray>
#include <QDateTime>

// The ESC/POS bytes of each kind of job, laid out for the paper's columns (32 on 58 mm, 48 on 80 mm).

// A kitchen ticket: the printer's name, 补打 or 重打 when it is such a copy, the table in large type,
// the ticket number of the day, where the order came from and when, then each line with its quantity and
// remark (long names and remarks broken over several lines), and a cut.
QByteArray EncodeKitchenTicket(const PrintJob& job, int columns);
// The customer bill with the content of the paper layout: restaurant, 消费清单, table, time, the lines
// with quantity and amount, 合计, 实收, address and telephone, and a cut.
QByteArray EncodeBill(const BillData& bill, int columns, const QString& copyMark = {});
// A page that shows the printer's settings, a ruler of its columns, Chinese text across the paper, and what
// becomes of characters outside its fonts.
QByteArray EncodeTestPage(const Printer& printer, const QDateTime& now);
// A report (交班, 日结): its title in large type, each row as label and value, when it was printed, a cut.
QByteArray EncodeReport(const PrintJob& job, int columns);
// Opens the cash drawer; prints nothing.
QByteArray EncodeDrawerPulse();

// The bytes of a job for its printer.
QByteArray EncodeJob(const PrintJob& job, const Printer& printer);

// "补打", "重打", both, or empty: what a copy says on top.
QString CopyMark(const PrintJob& job);
// One ticket row as the kitchen reads it: "×2份".
QString QuantityText(const OrderLine& line);

#pragma once

#include "bill/OrderLine.h"
#include "print/BillLayout.h"

#include <QList>
#include <QString>

// What the kitchen ticket prints: the table and the order lines that carry the kitchen mark.
struct KitchenTicketData {
    QString tableName;
    QList<OrderLine> lines;
    double leftMarginMm = 0;
    double topMarginMm = 0;
};

// True when at least one line carries the kitchen mark "√"; without one there is nothing to print.
bool HasKitchenLines(const QList<OrderLine>& lines);

// One ticket row: 名称, two blanks, 数量 and 单位, and "/" with the remark when there is one.
QString KitchenRowText(const OrderLine& line);

// The kitchen ticket in millimetres on the printable area (margins applied). Unmarked lines keep their row
// empty.
ReceiptDocument KitchenTicketDocument(const KitchenTicketData& ticket);

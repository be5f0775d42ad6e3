#pragma once

#include "bill/OrderLine.h"
#include "print/Printer.h"

#include <QList>
#include <QString>

// The lines one printer gets, in the order of the bill.
struct PrinterLines {
    QString printer;
    QList<OrderLine> lines;
};

struct KitchenRoute {
    QList<PrinterLines> tickets; // one per printer that gets lines, in the order of the printers
    QList<OrderLine> unrouted;   // lines no enabled kitchen printer takes
};

// Sends each line to every enabled kitchen printer that lists its category; a category no such printer
// lists goes to those that list none. A line that reaches no printer is reported, never dropped.
KitchenRoute RouteToKitchen(const QList<Printer>& printers, const QList<OrderLine>& lines);

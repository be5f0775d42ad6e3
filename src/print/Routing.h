#pragma once

#include "bill/OrderLine.h"
#include "print/Printer.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class Database;

// The lines one printer gets, in the order of the bill.
struct PrinterLines {
    QString printer;
    QList<OrderLine> lines;
};

struct KitchenRoute {
    QList<PrinterLines> tickets; // one per printer that gets lines, in the order of the printers
    QList<OrderLine> unrouted;   // lines no enabled kitchen printer takes
};

// The printers a dish names for itself (菜单.打印机), by DishKey: 热菜 to 厨房, 凉菜 to 凉菜间.
using DishPrinters = QHash<QString, QStringList>;
QString DishKey(const QString& category, const QString& name);
DishPrinters ReadDishPrinters(Database& db);
// A printer renamed in the settings keeps its dishes.
void RenameDishPrinter(Database& db, const QString& oldName, const QString& newName);

// Sends each line to the enabled kitchen printers its dish names; a dish that names none (or none of them
// is an enabled kitchen printer) goes to every enabled kitchen printer that lists its category, and a
// category no such printer lists to those that list none. A line that reaches no printer is reported,
// never dropped.
KitchenRoute RouteToKitchen(const QList<Printer>& printers, const QList<OrderLine>& lines,
                            const DishPrinters& dishPrinters = {});

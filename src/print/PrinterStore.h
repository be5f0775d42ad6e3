#pragma once

#include "print/Printer.h"

#include <QList>
#include <QString>
#include <optional>

class Database;

// Every read and write of 打印机 and of the switch 手机送厨. Changes that touch waiting jobs as well (a
// rename, a removal) are one step with them. A printer that cannot be stored (PrinterProblem, a name
// already taken, a value too long) throws StoreError with the reason and writes nothing.
class PrinterStore {
public:
    explicit PrinterStore(Database& db) : db_(db) {}

    // All printers, by name.
    QList<Printer> all();
    std::optional<Printer> find(const QString& name);

    void add(const Printer& printer);
    // Stores `printer` in place of the one named `oldName`; jobs waiting for it follow a new name.
    void change(const QString& oldName, const Printer& printer);
    // Removes the printer; the jobs still waiting for it are given up (the window says how many first).
    void remove(const QString& name);

    // Whether orders from phones and table codes go to the kitchen printers by themselves.
    bool phoneOrdersToKitchen();
    void setPhoneOrdersToKitchen(bool on);

private:
    void check(const Printer& printer, const QString& oldName);

    Database& db_;
};

// The enabled printers that print kitchen tickets, bills, or open the cash drawer.
QList<Printer> KitchenPrinters(const QList<Printer>& printers);
std::optional<Printer> BillPrinter(const QList<Printer>& printers);
QList<Printer> DrawerPrinters(const QList<Printer>& printers);

// Categories that two or more enabled kitchen printers take, so that each of their lines prints on every
// one of them: "热菜、凉菜都接收“菜品”，这一分类的每一项各打印一张", joined by "；". Empty when none is.
QString SharedCategoriesWarning(const QList<Printer>& printers);

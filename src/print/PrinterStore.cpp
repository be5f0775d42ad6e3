#include "print/PrinterStore.h"

#include "bill/KitchenLedger.h"
#include "print/Routing.h"

#include "print/JobStore.h"
#include "store/Database.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <algorithm>

namespace {

const QString kTable = QStringLiteral("打印机");

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

Printer ReadPrinter(const Statement& row) {
    Printer printer;
    printer.name = row.text(0);
    printer.address = row.text(1);
    printer.paperMm = row.text(2).trimmed() == QLatin1String("58") ? 58 : 80;
    printer.setUseText(row.text(3));
    printer.categories = row.text(4).split(QLatin1Char(','), Qt::SkipEmptyParts);
    printer.drawer = row.text(5) == QLatin1String("1");
    printer.enabled = row.text(6) == QLatin1String("1");
    return printer;
}

// Binds the seven columns in table order, from index 1.
void BindPrinter(Statement& statement, const Printer& printer) {
    statement.bind(1, printer.name.trimmed())
        .bind(2, printer.address.trimmed())
        .bind(3, QString::number(printer.paperMm))
        .bind(4, printer.useText())
        .bind(5, printer.categories.join(QLatin1Char(',')))
        .bind(6, Flag(printer.drawer))
        .bind(7, Flag(printer.enabled));
}

} // namespace

QList<Printer> PrinterStore::all() {
    // By name, so every program lists (and routes over) the printers in the same order.
    Statement query(db_, "SELECT \"名称\", \"地址\", \"纸宽\", \"用途\", \"分类\", \"钱箱\", \"启用\" "
                         "FROM \"打印机\" ORDER BY \"名称\"");
    QList<Printer> printers;
    while (query.next())
        printers.append(ReadPrinter(query));
    return printers;
}

std::optional<Printer> PrinterStore::find(const QString& name) {
    for (const Printer& printer : all())
        if (printer.name == name)
            return printer;
    return std::nullopt;
}

void PrinterStore::check(const Printer& printer, const QString& oldName) {
    if (const QString problem = PrinterProblem(printer); !problem.isEmpty())
        throw StoreError(problem);
    CheckWidths(kTable, {{"名称", printer.name.trimmed()},
                         {"地址", printer.address.trimmed()},
                         {"用途", printer.useText()},
                         {"分类", printer.categories.join(QLatin1Char(','))}});
    const QString name = printer.name.trimmed();
    if (name != oldName && find(name))
        throw StoreError(QStringLiteral("已经有一台叫“%1”的打印机，请换一个名称。").arg(name));
}

void PrinterStore::add(const Printer& printer) {
    Transaction step(db_);
    check(printer, {});
    Statement insert(db_,
                     "INSERT INTO \"打印机\" (\"名称\", \"地址\", \"纸宽\", \"用途\", \"分类\", \"钱箱\", "
                     "\"启用\") VALUES (?, ?, ?, ?, ?, ?, ?)");
    BindPrinter(insert, printer);
    insert.run();
    step.commit();
}

void PrinterStore::change(const QString& oldName, const Printer& printer) {
    Transaction step(db_);
    check(printer, oldName);
    Statement update(db_, "UPDATE \"打印机\" SET \"名称\" = ?, \"地址\" = ?, \"纸宽\" = ?, \"用途\" = ?, "
                          "\"分类\" = ?, \"钱箱\" = ?, \"启用\" = ? WHERE \"名称\" = ?");
    BindPrinter(update, printer);
    update.bind(8, oldName);
    update.run();
    if (db_.changes() == 0)
        throw StoreError(QStringLiteral("打印机“%1”已不存在。").arg(oldName));
    // Waiting jobs, the dishes that name it and what it has of open bills keep following it.
    const QString newName = printer.name.trimmed();
    JobStore(db_).renamePrinter(oldName, newName);
    RenameDishPrinter(db_, oldName, newName);
    KitchenLedger(db_).renamePrinter(oldName, newName);
    step.commit();
}

void PrinterStore::remove(const QString& name) {
    Transaction step(db_);
    Statement remove(db_, "DELETE FROM \"打印机\" WHERE \"名称\" = ?");
    remove.bind(1, name).run();
    JobStore(db_).giveUpWaiting(name, QStringLiteral("打印机已删除"));
    step.commit();
}

bool PrinterStore::phoneOrdersToKitchen() {
    return ReadPhoneOrdersToKitchen(db_);
}

void PrinterStore::setPhoneOrdersToKitchen(bool on) {
    WritePhoneOrdersToKitchen(db_, on);
}

QList<Printer> KitchenPrinters(const QList<Printer>& printers) {
    QList<Printer> kitchen;
    std::copy_if(printers.begin(), printers.end(), std::back_inserter(kitchen),
                 [](const Printer& printer) { return printer.enabled && printer.kitchen; });
    return kitchen;
}

std::optional<Printer> BillPrinter(const QList<Printer>& printers) {
    const auto found = std::find_if(printers.begin(), printers.end(),
                                    [](const Printer& printer) { return printer.enabled && printer.bills; });
    return found == printers.end() ? std::nullopt : std::optional<Printer>(*found);
}

QList<Printer> DrawerPrinters(const QList<Printer>& printers) {
    QList<Printer> drawers;
    std::copy_if(printers.begin(), printers.end(), std::back_inserter(drawers),
                 [](const Printer& printer) { return printer.enabled && printer.drawer; });
    return drawers;
}

QString SharedCategoriesWarning(const QList<Printer>& printers) {
    const QList<Printer> kitchen = KitchenPrinters(printers);
    const auto takersOf = [&kitchen](const QString& category, bool listedOnly) {
        QStringList takers;
        for (const Printer& printer : kitchen)
            if (listedOnly ? printer.categories.contains(category) : printer.categories.isEmpty())
                takers.append(printer.name);
        return takers;
    };
    QStringList warnings;
    for (const QString& category : PrinterCategories()) {
        // As the routing does: a category no printer lists goes to every printer that lists none.
        QStringList takers = takersOf(category, true);
        if (takers.isEmpty())
            takers = takersOf(category, false);
        if (takers.size() > 1)
            warnings.append(QStringLiteral("%1都接收“%2”，这一分类的每一项各打印一张")
                                .arg(takers.join(QStringLiteral("、")), category));
    }
    return warnings.join(QStringLiteral("；"));
}

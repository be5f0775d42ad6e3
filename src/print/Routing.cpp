#include "print/Routing.h"

#include "print/PrinterStore.h"
#include "store/Database.h"
#include "store/Ids.h"

#include <QSet>

namespace {

QList<qsizetype> TargetsOf(const QList<Printer>& kitchen, const QSet<QString>& listed, const OrderLine& line,
                           const DishPrinters& dishPrinters) {
    QList<qsizetype> targets;
    const QStringList named = dishPrinters.value(DishKey(line.category, line.name));
    for (qsizetype i = 0; i < kitchen.size(); ++i)
        if (named.contains(kitchen.at(i).name))
            targets.append(i);
    if (!targets.isEmpty())
        return targets;
    const bool taken = listed.contains(line.category);
    for (qsizetype i = 0; i < kitchen.size(); ++i) {
        const QStringList& categories = kitchen.at(i).categories;
        if (taken ? categories.contains(line.category) : categories.isEmpty())
            targets.append(i);
    }
    return targets;
}

} // namespace

QString DishKey(const QString& category, const QString& name) {
    return category + QLatin1Char('\n') + name;
}

DishPrinters ReadDishPrinters(Database& db) {
    Statement rows(db, "SELECT \"分类\", \"名称\", \"打印机\" FROM \"菜单\" WHERE \"打印机\" <> ''");
    DishPrinters printers;
    while (rows.next()) {
        QStringList names;
        for (const QString& name : rows.text(2).split(QLatin1Char(','), Qt::SkipEmptyParts))
            names.append(name.trimmed());
        printers.insert(DishKey(rows.text(0), RestoreBrackets(rows.text(1))), names);
    }
    return printers;
}

void RenameDishPrinter(Database& db, const QString& oldName, const QString& newName) {
    if (oldName == newName)
        return;
    Statement rows(db, "SELECT rowid, \"打印机\" FROM \"菜单\" WHERE \"打印机\" <> ''");
    QList<std::pair<qint64, QString>> changed;
    while (rows.next()) {
        QStringList names = rows.text(1).split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (QString& name : names)
            name = name.trimmed();
        if (!names.contains(oldName))
            continue;
        names.replace(names.indexOf(oldName), newName);
        changed.append({rows.integer(0), names.join(QLatin1Char(','))});
    }
    Statement update(db, "UPDATE \"菜单\" SET \"打印机\" = ? WHERE rowid = ?");
    for (const auto& [row, names] : changed) {
        update.reset();
        update.bind(1, names).bind(2, row).run();
    }
}

KitchenRoute RouteToKitchen(const QList<Printer>& printers, const QList<OrderLine>& lines,
                            const DishPrinters& dishPrinters) {
    const QList<Printer> kitchen = KitchenPrinters(printers);
    QSet<QString> listed;
    for (const Printer& printer : kitchen)
        for (const QString& category : printer.categories)
            listed.insert(category);

    QList<QList<OrderLine>> perPrinter(kitchen.size());
    KitchenRoute route;
    for (const OrderLine& line : lines) {
        const QList<qsizetype> targets = TargetsOf(kitchen, listed, line, dishPrinters);
        if (targets.isEmpty())
            route.unrouted.append(line);
        for (const qsizetype target : targets)
            perPrinter[target].append(line);
    }
    for (qsizetype i = 0; i < kitchen.size(); ++i)
        if (!perPrinter.at(i).isEmpty())
            route.tickets.append({kitchen.at(i).name, perPrinter.at(i)});
    return route;
}

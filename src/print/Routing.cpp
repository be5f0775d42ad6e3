#include "print/Routing.h"

#include "print/PrinterStore.h"

#include <QSet>

namespace {

QList<qsizetype> TargetsOf(const QList<Printer>& kitchen, const QSet<QString>& listed,
                           const QString& category) {
    QList<qsizetype> targets;
    const bool taken = listed.contains(category);
    for (qsizetype i = 0; i < kitchen.size(); ++i) {
        const QStringList& categories = kitchen.at(i).categories;
        if (taken ? categories.contains(category) : categories.isEmpty())
            targets.append(i);
    }
    return targets;
}

} // namespace

KitchenRoute RouteToKitchen(const QList<Printer>& printers, const QList<OrderLine>& lines) {
    const QList<Printer> kitchen = KitchenPrinters(printers);
    QSet<QString> listed;
    for (const Printer& printer : kitchen)
        for (const QString& category : printer.categories)
            listed.insert(category);

    QList<QList<OrderLine>> perPrinter(kitchen.size());
    KitchenRoute route;
    for (const OrderLine& line : lines) {
        const QList<qsizetype> targets = TargetsOf(kitchen, listed, line.category);
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

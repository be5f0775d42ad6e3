#include "print/PrintQueue.h"

#include "print/JobStore.h"
#include "print/PrinterStore.h"
#include "store/Database.h"

#include <algorithm>

namespace {

PrintJob NewJob(JobKind kind, const QString& printer, const QDateTime& now) {
    PrintJob job;
    job.kind = kind;
    job.printer = printer;
    job.created = now;
    return job;
}

QString CategoriesOf(const QList<OrderLine>& lines) {
    QStringList categories;
    for (const OrderLine& line : lines) {
        const QString category = line.category.isEmpty() ? QStringLiteral("无分类") : line.category;
        if (!categories.contains(category))
            categories.append(category);
    }
    return categories.join(QStringLiteral("、"));
}

} // namespace

bool HasKitchenPrinters(Database& db) {
    return !KitchenPrinters(PrinterStore(db).all()).isEmpty();
}

KitchenSend SendToKitchen(Database& db, const QString& tableName, const QList<OrderLine>& lines,
                          const QString& source, const QDateTime& now) {
    Transaction step(db);
    const KitchenRoute route = RouteToKitchen(PrinterStore(db).all(), lines);
    JobStore jobs(db);
    KitchenSend send;
    send.tickets = route.tickets;
    send.unrouted = route.unrouted;
    if (!route.tickets.isEmpty())
        send.number = jobs.nextTicketNumber(now.date());
    for (const PrinterLines& ticket : route.tickets) {
        PrintJob job = NewJob(JobKind::Kitchen, ticket.printer, now);
        job.number = send.number;
        job.source = source;
        job.tableName = tableName;
        job.lines = ticket.lines;
        jobs.add(job);
    }
    if (!route.unrouted.isEmpty()) {
        PrintJob job = NewJob(JobKind::Kitchen, {}, now);
        job.state = JobState::NotRouted;
        job.number = send.number;
        job.source = source;
        job.tableName = tableName;
        job.lines = route.unrouted;
        job.note = QStringLiteral("没有打印机接收“%1”").arg(CategoriesOf(route.unrouted));
        jobs.add(job);
    }
    step.commit();
    return send;
}

std::optional<KitchenSend> SendPhoneOrderToKitchen(Database& db, const QString& tableName,
                                                   const QList<OrderLine>& lines, const QString& source,
                                                   const QDateTime& now) {
    if (lines.isEmpty() || !PrinterStore(db).phoneOrdersToKitchen() || !HasKitchenPrinters(db))
        return std::nullopt;
    return SendToKitchen(db, tableName, lines, source, now);
}

QList<OrderLine> LinesWithIds(const QList<OrderLine>& lines, const QStringList& lineIds) {
    QList<OrderLine> chosen;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(chosen),
                 [&](const OrderLine& line) { return lineIds.contains(line.lineId); });
    return chosen;
}

QString LinesText(const QList<OrderLine>& lines) {
    QStringList parts;
    for (const OrderLine& line : lines)
        parts.append(line.name + QStringLiteral(" ×") + line.quantity + line.unit);
    return parts.join(QStringLiteral("、"));
}

QString UnroutedMessage(const KitchenSend& send) {
    if (send.unrouted.isEmpty())
        return {};
    return QStringLiteral(
               "以下菜品没有打印机接收，未送出：\n%1\n\n请在 综合设置 → 打印机 中为“%2”指定打印机。")
        .arg(LinesText(send.unrouted), CategoriesOf(send.unrouted));
}

std::optional<QString> QueueBill(Database& db, const BillData& bill, const QDateTime& now) {
    const std::optional<Printer> printer = BillPrinter(PrinterStore(db).all());
    if (!printer)
        return std::nullopt;
    PrintJob job = NewJob(JobKind::Bill, printer->name, now);
    job.tableName = bill.tableName;
    job.bill = bill;
    return JobStore(db).add(job);
}

QString QueueTestPage(Database& db, const QString& printerName, const QDateTime& now) {
    return JobStore(db).add(NewJob(JobKind::TestPage, printerName, now));
}

int OpenCashDrawers(Database& db, const QDateTime& now) {
    const QList<Printer> drawers = DrawerPrinters(PrinterStore(db).all());
    if (drawers.isEmpty())
        return 0;
    Transaction step(db);
    JobStore jobs(db);
    for (const Printer& printer : drawers)
        jobs.add(NewJob(JobKind::Drawer, printer.name, now));
    step.commit();
    return static_cast<int>(drawers.size());
}

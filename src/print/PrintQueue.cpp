#include "print/PrintQueue.h"

#include "bill/KitchenLedger.h"
#include "print/JobStore.h"
#include "print/PrinterStore.h"
#include "store/Database.h"
#include "store/NumberText.h"

#include <QMap>
#include <algorithm>
#include <memory>

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

namespace {

// Writes the tickets of a route and records what each printer got; the unrouted lines are left to the
// caller.
QStringList WriteTickets(Database& db, const QList<PrinterLines>& tickets, const PrintJob& pattern,
                         bool record) {
    JobStore jobs(db);
    KitchenLedger ledger(db);
    QStringList ids;
    for (const PrinterLines& ticket : tickets) {
        PrintJob job = pattern;
        job.printer = ticket.printer;
        job.lines = ticket.lines;
        const QString jobId = jobs.add(job);
        ids.append(jobId);
        if (!record || job.billId.isEmpty())
            continue;
        for (const OrderLine& line : ticket.lines)
            if (!line.lineId.isEmpty())
                ledger.record(job.billId, line.lineId, ticket.printer, jobId, job.number, line.quantity,
                              job.created);
    }
    return ids;
}

PrintJob KitchenPattern(const QString& tableName, const QString& source, const QDateTime& now, int number,
                        const QString& billId) {
    PrintJob job = NewJob(JobKind::Kitchen, {}, now);
    job.number = number;
    job.source = source;
    job.tableName = tableName;
    job.billId = billId;
    return job;
}

QString NotRoutedNote(const QList<OrderLine>& lines) {
    return QStringLiteral("没有打印机接收“%1”").arg(CategoriesOf(lines));
}

} // namespace

KitchenSend SendToKitchen(Database& db, const QString& tableName, const QList<OrderLine>& lines,
                          const QString& source, const QDateTime& now, const QString& billId, bool again) {
    Transaction step(db);
    const KitchenRoute route = RouteToKitchen(PrinterStore(db).all(), lines, ReadDishPrinters(db));
    KitchenSend send;
    send.tickets = route.tickets;
    send.unrouted = route.unrouted;
    if (!route.tickets.isEmpty())
        send.number = JobStore(db).nextTicketNumber(now.date());
    PrintJob pattern = KitchenPattern(tableName, source, now, send.number, billId);
    pattern.reprint = again;
    WriteTickets(db, route.tickets, pattern, !again);
    if (!route.unrouted.isEmpty() && !again) {
        PrintJob job = pattern;
        job.state = JobState::NotRouted;
        job.lines = route.unrouted;
        job.note = NotRoutedNote(route.unrouted);
        JobStore(db).add(job);
    }
    step.commit();
    return send;
}

MarkedLines MarkedForKitchen(const QList<OrderLine>& lines) {
    MarkedLines marked;
    for (const OrderLine& line : lines)
        if (line.markedForKitchen())
            (line.kitchenHas.isEmpty() ? marked.fresh : marked.sentBefore).append(line);
    return marked;
}

std::optional<KitchenSend> SendPhoneOrderToKitchen(Database& db, const QString& tableName,
                                                   const QList<OrderLine>& lines, const QString& source,
                                                   const QDateTime& now, const QString& billId) {
    if (lines.isEmpty() || !PrinterStore(db).phoneOrdersToKitchen() || !HasKitchenPrinters(db))
        return std::nullopt;
    return SendToKitchen(db, tableName, lines, source, now, billId);
}

int TellKitchenOfChanges(Database& db, const QString& billId, const QString& tableName,
                         const QList<KitchenChange>& changes, const QString& source, const QDateTime& now,
                         const QString& takeBack) {
    // Per printer, in the order the printers first appear: the lines taken back and the lines added.
    QStringList printers;
    QMap<QString, QList<OrderLine>> returned;
    QMap<QString, QList<OrderLine>> added;
    KitchenLedger ledger(db);
    for (const KitchenChange& change : changes) {
        const double now_ = change.quantityNow.isEmpty() ? 0 : ReadNumber(change.quantityNow);
        for (const KitchenHolding& holding : ledger.holdingsOfLine(billId, change.line.lineId)) {
            const double delta = now_ - ReadNumber(holding.quantity);
            if (delta == 0)
                continue;
            OrderLine line = change.line;
            line.quantity = NumberText(std::abs(delta));
            (delta < 0 ? returned : added)[holding.printer].append(line);
            if (!printers.contains(holding.printer))
                printers.append(holding.printer);
        }
    }
    if (printers.isEmpty())
        return 0;
    Transaction step(db);
    const int number = JobStore(db).nextTicketNumber(now.date());
    int tickets = 0;
    for (const auto& [kind, lines, sign] :
         {std::tuple{QStringLiteral("退菜"), &returned, -1}, std::tuple{QStringLiteral("加菜"), &added, 1}}) {
        PrintJob pattern = KitchenPattern(tableName, source, now, number, billId);
        pattern.change = kind;
        if (sign < 0)
            pattern.reason = takeBack;
        for (const QString& printer : printers) {
            if (!lines->contains(printer))
                continue;
            PrintJob job = pattern;
            job.printer = printer;
            job.lines = lines->value(printer);
            const QString jobId = JobStore(db).add(job);
            ++tickets;
            for (const OrderLine& line : job.lines)
                ledger.record(billId, line.lineId, printer, jobId, number,
                              NumberText(sign * ReadNumber(line.quantity)), now);
        }
    }
    step.commit();
    return tickets;
}

KitchenRules KitchenRulesFor(Database& db, const QString& source) {
    // Read once, when the first new line asks: a window's bill sees the printers as they were then.
    struct Known {
        std::optional<QList<Printer>> printers;
        DishPrinters dishes;
    };
    auto known = std::make_shared<Known>();
    Database* database = &db;
    KitchenRules rules;
    rules.marksNewLine = [known, database](const OrderLine& line) {
        if (!known->printers) {
            known->printers = KitchenPrinters(PrinterStore(*database).all());
            known->dishes = ReadDishPrinters(*database);
        }
        if (known->printers->isEmpty())
            return line.category == kDishes;
        return RouteToKitchen(*known->printers, {line}, known->dishes).unrouted.isEmpty();
    };
    rules.tell = [database, source](const QString& billId, const QString& tableName,
                                    const QList<KitchenChange>& changes, const QString& takeBack) {
        return TellKitchenOfChanges(*database, billId, tableName, changes, source,
                                    QDateTime::currentDateTime(), takeBack) > 0;
    };
    return rules;
}

QStringList ReprintJob(Database& db, const QString& jobId, const QDateTime& now) {
    JobStore jobs(db);
    const std::optional<PrintJob> original = jobs.job(jobId);
    if (!original)
        throw StoreError(QStringLiteral("打印记录 %1 已不存在。").arg(jobId));
    if (original->state != JobState::NotRouted)
        return {jobs.reprint(jobId, now)};
    Transaction step(db);
    const KitchenRoute route = RouteToKitchen(PrinterStore(db).all(), original->lines, ReadDishPrinters(db));
    if (route.tickets.isEmpty())
        throw StoreError(QStringLiteral("“%1”仍然没有打印机接收：请先在 综合设置 → 打印机 中为它指定打印机。")
                             .arg(CategoriesOf(original->lines)));
    // The kitchen never had these lines: they go out as the ticket they were meant to be.
    PrintJob pattern =
        KitchenPattern(original->tableName, original->source, now, original->number, original->billId);
    const QStringList ids = WriteTickets(db, route.tickets, pattern, true);
    const QString sentNote = QStringLiteral("已改送（%1）").arg(now.toString(QStringLiteral("HH:mm")));
    jobs.settleNotRouted(jobId, route.unrouted,
                         route.unrouted.isEmpty() ? sentNote : NotRoutedNote(route.unrouted));
    step.commit();
    return ids;
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

std::optional<QString> QueueReport(Database& db, const QString& title, const QList<ReportLine>& rows,
                                   const QDateTime& now) {
    const std::optional<Printer> printer = BillPrinter(PrinterStore(db).all());
    if (!printer)
        return std::nullopt;
    PrintJob job = NewJob(JobKind::Report, printer->name, now);
    job.title = title;
    job.rows = rows;
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

// Kitchen printing as a guest gets it: from the commit of a phone order (its lines and tickets in one
// step) to the last byte at a fake ESC/POS printer on 127.0.0.1, through the counter's spooler with its
// usual settings; and the time to encode one 40-line ticket. Median and p99; a run whose tickets did not
// all arrive, or arrived with other lines, prints no figure.

#include "FakePrinter.h"
#include "common/Median.h"

#include "app/Startup.h"
#include "bill/BillDocument.h"
#include "print/PrintQueue.h"
#include "print/PrintSpooler.h"
#include "print/PrinterStore.h"
#include "print/TicketEncoder.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

MenuRecord Dish(int i) {
    MenuRecord record;
    record.category = kDishes;
    record.name = QStringLiteral("招牌菜%1").arg(i);
    record.quantity = QStringLiteral("1");
    record.unit = QStringLiteral("份");
    record.price = QStringLiteral("28");
    record.amount = QStringLiteral("28");
    record.kitchenMark = kMark;
    return record;
}

double EncodeFortyLines() {
    PrintJob job;
    job.kind = JobKind::Kitchen;
    job.printer = QStringLiteral("厨房");
    job.created = QDateTime::currentDateTime();
    job.number = 42;
    job.source = kSourceGuest;
    job.tableName = QStringLiteral("大厅12号");
    for (int i = 0; i < 40; ++i) {
        OrderLine line;
        line.category = kDishes;
        line.name = QStringLiteral("秘制红烧肉配时令蔬菜%1").arg(i);
        line.quantity = QString::number(i % 3 + 1);
        line.unit = QStringLiteral("份");
        line.remark = i % 4 == 0 ? QStringLiteral("少盐少油，不要香菜") : QString();
        job.lines.append(line);
    }
    qsizetype bytes = 0;
    const double ms = MedianMs(2000, [&] { bytes += EncodeKitchenTicket(job, 48).size(); });
    return bytes > 0 ? ms : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int kOrders = 200;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.dat"));
    Database db(path, DatabasePassword());
    CreateSchema(db);

    FakePrinter printer;
    Printer kitchen;
    kitchen.name = QStringLiteral("厨房");
    kitchen.address = printer.address();
    PrinterStore(db).add(kitchen);
    PrintSpooler spooler([path] { return std::make_unique<Database>(path, DatabasePassword()); },
                         MakeRawTransport);
    spooler.start();

    std::vector<double> latencies;
    BillDocument bill(db);
    for (int i = 0; i < kOrders; ++i) {
        bill.openTable(i % 10, QStringLiteral("%1号").arg(i % 10 + 1), QDateTime::currentDateTime());
        const QDateTime now = QDateTime::currentDateTime();
        bill.runAsOneStep([&] {
            const int at = bill.addItem(Dish(i), now);
            SendPhoneOrderToKitchen(db, bill.header().tableName, {bill.lines().at(at)}, kSourceGuest, now);
        });
        const Clock::time_point committed = Clock::now();
        if (!printer.waitForPrints(i + 1, 5000)) {
            std::fprintf(stderr, "order %d never reached the printer\n", i + 1);
            return 1;
        }
        latencies.push_back(
            std::chrono::duration<double, std::milli>(printer.printTimes().at(i) - committed).count());
    }
    spooler.stop();
    const QList<PrintedPaper> papers = printer.papers();
    for (int i = 0; i < kOrders; ++i)
        if (!papers.at(i).lines.join(QString()).contains(QStringLiteral("招牌菜%1").arg(i))) {
            std::fprintf(stderr, "ticket %d does not show its order\n", i + 1);
            return 1;
        }
    std::printf("phone order commit -> last byte at the printer (%d orders): median %.1f ms, p99 %.1f ms\n",
                kOrders, Percentile(latencies, 0.5), Percentile(latencies, 0.99));
    const double encode = EncodeFortyLines();
    if (encode < 0)
        return 1;
    std::printf("encoding a 40-line kitchen ticket: median %.3f ms\n", encode);
    return 0;
}

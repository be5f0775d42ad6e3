// Kitchen printing as the kitchen gets it, through the counter's spooler with its usual settings, to an
// idle fake ESC/POS printer on 127.0.0.1: from the commit of a phone order (its lines and ticket in one
// step, on a connection of the phone pages, which the spooler hears of only through the file) to the
// ticket's last byte at the printer; and from a counter's 后厨打印 (the job written by SendToKitchen, then
// wake()) to the last byte. Each order comes at a random moment after the previous ticket. Median and p99;
// and the time to encode one 40-line ticket. A run whose tickets did not all arrive, whole, once and with
// their own lines, prints no figure.

#include "FakePrinter.h"
#include "common/Median.h"

#include "bill/BillDocument.h"
#include "print/PrintQueue.h"
#include "print/PrintSpooler.h"
#include "print/PrinterStore.h"
#include "print/TicketEncoder.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kOrders = 200;

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

MenuRecord Dish(const QString& name) {
    MenuRecord record;
    record.category = kDishes;
    record.name = name;
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

// Places `kOrders` orders, each a random 0-100 ms after the previous ticket arrived, and returns the delay
// from each order's placing (the moment placeOrder returns) to its ticket's last byte; empty when a ticket
// did not arrive or was not the order's own, whole and printed once.
template <class PlaceOrder>
std::vector<double> Latencies(const FakePrinter& printer, const QString& dishPrefix, PlaceOrder placeOrder) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pauseUs(0, 100000);
    const qsizetype before = printer.printCount();
    std::vector<double> latencies;
    for (int i = 0; i < kOrders; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
        const Clock::time_point placed = placeOrder(dishPrefix + QString::number(i));
        if (!printer.waitForPrints(before + i + 1, 5000)) {
            std::fprintf(stderr, "order %d never reached the printer\n", i + 1);
            return {};
        }
        latencies.push_back(
            std::chrono::duration<double, std::milli>(printer.printTimes().at(before + i) - placed).count());
    }
    // Nothing more may come: no ticket twice.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const QList<PrintedPaper> papers = printer.papers();
    if (papers.size() != before + kOrders) {
        std::fprintf(stderr, "%lld tickets for %d orders\n", static_cast<long long>(papers.size() - before),
                     kOrders);
        return {};
    }
    for (int i = 0; i < kOrders; ++i) {
        const PrintedPaper& paper = papers.at(before + i);
        const QString text = paper.lines.join(QLatin1Char('\n'));
        if (paper.cuts != 1 || !text.contains(dishPrefix + QString::number(i) + QLatin1Char(' ')) ||
            text.contains(QStringLiteral("补打"))) {
            std::fprintf(stderr, "ticket %d is not its order's, whole and once\n", i + 1);
            return {};
        }
    }
    return latencies;
}

void Print(const char* what, const std::vector<double>& latencies) {
    std::printf("%s (%d orders): median %.1f ms, p99 %.1f ms\n", what, kOrders, Percentile(latencies, 0.5),
                Percentile(latencies, 0.99));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.dat"));
    Database counter(path, DatabasePassword());
    CreateSchema(counter);
    Database phones(path, DatabasePassword());
    phones.setWriter(Database::Writer::PhonePages);

    FakePrinter printer;
    Printer kitchen;
    kitchen.name = QStringLiteral("厨房");
    kitchen.address = printer.address();
    PrinterStore(counter).add(kitchen);
    PrintSpooler spooler([path] { return std::make_unique<Database>(path, DatabasePassword()); },
                         MakeRawTransport);
    spooler.start();

    // A dish name ends with a blank on the ticket (the quantity follows), so 招牌菜1 is not 招牌菜10.
    BillDocument bill(phones);
    int table = 0;
    const std::vector<double> phoneOrders =
        Latencies(printer, QStringLiteral("招牌菜"), [&](const QString& dish) {
            table = table % 10 + 1;
            bill.openTable(table - 1, QStringLiteral("%1号").arg(table), QDateTime::currentDateTime());
            const QDateTime now = QDateTime::currentDateTime();
            // The order's own step inside this one, so the clock can start as it commits: others may see the
            // commit before COMMIT returns (it may checkpoint the log then).
            Transaction step(phones);
            bill.runAsOneStep([&] {
                const int at = bill.addItem(Dish(dish), now);
                SendPhoneOrderToKitchen(phones, bill.header().tableName, {bill.lines().at(at)}, kSourceGuest,
                                        now);
            });
            const Clock::time_point committing = Clock::now();
            step.commit();
            return committing;
        });
    if (phoneOrders.empty())
        return 1;
    const std::vector<double> counterOrders =
        Latencies(printer, QStringLiteral("家常菜"), [&](const QString& dish) {
            OrderLine line;
            line.category = kDishes;
            line.name = dish;
            line.quantity = QStringLiteral("1");
            line.unit = QStringLiteral("份");
            const Clock::time_point clicked = Clock::now();
            SendToKitchen(counter, QStringLiteral("8号"), {line}, kSourceCounter,
                          QDateTime::currentDateTime());
            spooler.wake();
            return clicked;
        });
    spooler.stop();
    if (counterOrders.empty())
        return 1;
    Print("phone order commit -> last byte at the printer", phoneOrders);
    Print("counter 后厨打印 (from SendToKitchen, then wake) -> last byte at the printer", counterOrders);
    const double encode = EncodeFortyLines();
    if (encode < 0)
        return 1;
    std::printf("encoding a 40-line kitchen ticket: median %.3f ms\n", encode);
    return 0;
}

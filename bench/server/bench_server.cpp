// The database file against a PostgreSQL server, in one run: adding a line at the counter (commit
// included), the history list of a month, the turnover of a year, and how soon a second counter hears of
// a table that changed. Medians and p99 over repeated runs.
//
// usage: bench_server FILE URI_WITH_THE_SAME_DATA ADMIN_URI
//   FILE     a database from cjgendata (three years of bills)
//   URI...   a server database holding the same data (cjpos --copy-database FILE URI)
//   ADMIN    a server connection allowed to create databases, for the empty ones the line test uses
#include "bill/BillStore.h"
#include "desk/OrderDesk.h"
#include "stats/Turnover.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

struct Figures {
    double median;
    double p99;
};

Figures figuresOf(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)]};
}

double elapsedMs(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Adds `lines` lines one by one to a bill at the counter; every add commits.
std::vector<double> addLines(Database& db, int lines) {
    OrderDesk desk(db);
    desk.openTable(0, QDateTime::currentDateTime());
    desk.menu.chooseCategory(QStringLiteral("菜品"));
    const QList<MenuRecord> dishes = desk.menu.records();
    const qsizetype before = desk.bill.lines().size();
    std::vector<double> times;
    for (int i = 0; i < lines; ++i) {
        QElapsedTimer timer;
        timer.start();
        desk.bill.addItem(dishes.at(i % dishes.size()), QDateTime::currentDateTime());
        times.push_back(elapsedMs(timer));
    }
    if (BillStore(db).lines(desk.bill.billId()).size() != before + lines) {
        std::fprintf(stderr, "bench_server: the bill does not hold the lines added\n");
        std::exit(1);
    }
    return times;
}

std::vector<double> repeat(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(elapsedMs(timer));
    }
    return times;
}

void report(const char* what, const Figures& file, const Figures& server) {
    std::printf("%-34s file median %8.2f ms p99 %8.2f | server median %8.2f ms p99 %8.2f | ratio %.2f\n",
                what, file.median, file.p99, server.median, server.p99, server.median / file.median);
}

// A second counter waits for the notice of a slot the first one writes; the time from the start of the
// write step to the notice.
Figures noticeDelay(Database& first, Database& second, int runs) {
    second.listen(BillStore::kTablesChannel);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const QString value = QStringLiteral("2024121213%1").arg(i % 10000, 4, 10, QLatin1Char('0'));
        QElapsedTimer timer;
        timer.start();
        {
            Transaction step(first);
            BillStore(first).writeSlot(7, value);
            step.commit();
        }
        bool heard = false;
        while (!heard && timer.elapsed() < 5000) {
            pollfd watch{second.notificationSocket(), POLLIN, 0};
            ::poll(&watch, 1, 50);
            heard = !second.takeNotifications().isEmpty();
        }
        const double ms = elapsedMs(timer);
        if (!heard || ReadSlots(second, 8).at(7) != value) {
            std::fprintf(stderr, "bench_server: the second counter did not see the change\n");
            std::exit(1);
        }
        times.push_back(ms);
    }
    BillStore(first).writeSlot(7, QString());
    return figuresOf(times);
}

} // namespace

int main(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_server FILE URI_WITH_THE_SAME_DATA ADMIN_URI\n");
        return 64;
    }
    Database file(QString::fromLocal8Bit(argv[1]), DatabasePassword());
    const auto server = Database::ConnectServer(QString::fromLocal8Bit(argv[2]));

    // Lines on empty databases, so the bill is the only one the counter works on.
    QTemporaryDir dir;
    Database emptyFile(dir.filePath(QStringLiteral("lines.dat")), DatabasePassword());
    CreateSchema(emptyFile);
    const QString name = QStringLiteral("bench_lines_%1").arg(::getpid());
    const auto admin = Database::ConnectServer(QString::fromLocal8Bit(argv[3]));
    admin->exec(("CREATE DATABASE " + name.toUtf8()).constData());
    QUrl address(QString::fromLocal8Bit(argv[3]));
    address.setPath(QLatin1Char('/') + name);
    {
        const auto emptyServer = Database::ConnectServer(address.toString());
        CreateSchema(*emptyServer);
        addLines(emptyFile, 20);
        addLines(*emptyServer, 20);
        report("add a line (commit included)", figuresOf(addLines(emptyFile, 200)),
               figuresOf(addLines(*emptyServer, 200)));
        const auto second = emptyServer->connectAgain();
        const Figures notice = noticeDelay(*emptyServer, *second, 200);
        std::printf("%-34s median %.2f ms p99 %.2f ms\n", "occupancy seen by a second counter", notice.median,
                    notice.p99);
    }
    admin->exec(("DROP DATABASE " + name.toUtf8()).constData());

    const QDate today = QDate::currentDate();
    ClosedBillQuery month;
    month.first = today.addMonths(-1);
    month.last = today;
    qsizetype fileBills = 0;
    qsizetype serverBills = 0;
    const auto fileMonth = repeat(9, [&] { fileBills = BillStore(file).closedBills(month).size(); });
    const auto serverMonth = repeat(9, [&] { serverBills = BillStore(*server).closedBills(month).size(); });
    if (fileBills != serverBills || fileBills == 0) {
        std::fprintf(stderr, "bench_server: history lists differ (%lld, %lld)\n",
                     static_cast<long long>(fileBills), static_cast<long long>(serverBills));
        return 1;
    }
    report("history list, one month", figuresOf(fileMonth), figuresOf(serverMonth));

    const DateRange year{today.addYears(-1).addDays(1), today};
    TurnoverTotals fileTotals;
    TurnoverTotals serverTotals;
    const auto fileYear = repeat(5, [&] { fileTotals = ComputeTurnover(file, year); });
    const auto serverYear = repeat(5, [&] { serverTotals = ComputeTurnover(*server, year); });
    if (fileTotals.bills != serverTotals.bills ||
        std::abs(fileTotals.receivable.value_or(0) - serverTotals.receivable.value_or(0)) > 0.01) {
        std::fprintf(stderr, "bench_server: turnover differs\n");
        return 1;
    }
    report("turnover, one year", figuresOf(fileYear), figuresOf(serverYear));
    std::printf("(%lld bills in the month, %lld in the year)\n", static_cast<long long>(fileBills),
                static_cast<long long>(fileTotals.bills));
    return 0;
}

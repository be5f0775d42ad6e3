// Turnover for one year and item sales for one month on a generated data set (cjgendata), against the same
// result computed by one bare aggregate statement through the sqlite C API on the same file.
//   bench_stats [database]   (default /tmp/cjstats-3y.dat; make it with cjgendata --out FILE)
#include "stats/BackgroundReader.h"
#include "stats/ItemSales.h"
#include "stats/Turnover.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/ProgramDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

constexpr int kRuns = 10;

// The same results with the engine's own sum and text-to-number rule, one statement each.
const char* const kTurnoverSql =
    "SELECT count(*), sum(\"菜品费用\"), sum(\"酒水费用\"), sum(\"其他费用\"), sum(\"应收\"), "
    "sum(\"实收\"), sum(\"挂账金额\") FROM \"桌台\" WHERE \"日期\" BETWEEN ? AND ?";
const char* const kItemSalesSql =
    "SELECT \"名称\", min(rowid), \"单位\", total(\"数量\"), total(\"金额\") FROM \"明细\" "
    "WHERE \"分类\" = ? AND \"日期\" BETWEEN ? AND ? GROUP BY \"名称\"";

double elapsedMs(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

struct Timing {
    double first = 0;  // the first run, the connection's page cache still empty
    double median = 0; // of the kRuns runs after it
};

Timing measure(const std::function<void()>& work) {
    Timing timing;
    timing.first = elapsedMs(work);
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i)
        times.push_back(elapsedMs(work));
    std::sort(times.begin(), times.end());
    timing.median = (times[kRuns / 2 - 1] + times[kRuns / 2]) / 2;
    return timing;
}

class BareConnection {
public:
    explicit BareConnection(const QString& path) {
        sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READONLY, nullptr);
        const QByteArray key = "PRAGMA key = '" + DatabasePassword().toUtf8() + "';";
        sqlite3_exec(db_, key.constData(), nullptr, nullptr, nullptr);
        // The same page cache as the program's statistics connection.
        sqlite3_exec(db_, "PRAGMA cache_size = -32768;", nullptr, nullptr, nullptr);
    }
    ~BareConnection() { sqlite3_close(db_); }

    // Steps the statement with the three texts bound; returns the number of rows and the last row's
    // column 'check' as a double.
    std::pair<int, double> run(const char* sql, const QList<QByteArray>& parameters, int check) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "bare: %s\n", sqlite3_errmsg(db_));
            return {0, 0};
        }
        for (int i = 0; i < parameters.size(); ++i)
            sqlite3_bind_text(statement, i + 1, parameters.at(i).constData(), -1, SQLITE_TRANSIENT);
        int rows = 0;
        double value = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            ++rows;
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                sqlite3_column_text(statement, c);
            value = sqlite3_column_double(statement, check);
        }
        sqlite3_finalize(statement);
        return {rows, value};
    }

private:
    sqlite3* db_ = nullptr;
};

void report(const QString& what, const Timing& program, const Timing& bare) {
    std::printf(
        "%s\n  first run: program %7.1f ms, bare %7.1f ms, ratio %.2f\n  median of %d: program %7.1f ms, "
        "bare %7.1f ms, ratio %.2f\n",
        qPrintable(what), program.first, bare.first, program.first / bare.first, kRuns, program.median,
        bare.median, program.median / bare.median);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/cjstats-3y.dat");
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "no data set at %s: make it with cjgendata --out %s\n", qPrintable(path),
                     qPrintable(path));
        return 2;
    }
    // Each measurement gets fresh connections, so its first run starts with an empty page cache.
    const QDate today = QDate::currentDate();
    const DateRange year{today.addYears(-1).addDays(1), today};
    const DateRange month{OneMonthBack(today), today};

    {
        const QList<QByteArray> texts{year.firstText().toUtf8(), year.lastText().toUtf8()};
        BareConnection(path).run(kTurnoverSql, texts, 0); // the file's pages into the system's cache
        const std::unique_ptr<Database> db = OpenStatsConnection(Database(path, DatabasePassword()));
        BareConnection bare(path);
        TurnoverTotals totals;
        const Timing program = measure([&] { totals = ComputeTurnover(*db, year); });
        std::pair<int, double> bareTotals;
        const Timing engine = measure([&] { bareTotals = bare.run(kTurnoverSql, texts, 4); });
        std::printf("turnover %s..%s: %lld bills, 应收 %.2f (bare %.2f)\n", qPrintable(year.firstText()),
                    qPrintable(year.lastText()), static_cast<long long>(totals.bills),
                    totals.receivable.value_or(0), bareTotals.second);
        report(QStringLiteral("turnover, one year"), program, engine);
    }

    for (const QString& category : {QStringLiteral("菜品"), QStringLiteral("酒水"), QStringLiteral("其他")}) {
        const QList<QByteArray> texts{category.toUtf8(), month.firstText().toUtf8(),
                                      month.lastText().toUtf8()};
        BareConnection(path).run(kItemSalesSql, texts, 0);
        const std::unique_ptr<Database> db = OpenStatsConnection(Database(path, DatabasePassword()));
        BareConnection bare(path);
        std::vector<ItemSalesRow> rows;
        const Timing program = measure([&] { rows = ComputeItemSales(*db, category, month); });
        std::pair<int, double> bareRows;
        const Timing engine = measure([&] { bareRows = bare.run(kItemSalesSql, texts, 4); });
        std::printf("item sales %s %s..%s: %zu rows with 合计 %s (bare %d rows)\n", qPrintable(category),
                    qPrintable(month.firstText()), qPrintable(month.lastText()), rows.size(),
                    qPrintable(rows.back().amount), bareRows.first);
        report(QStringLiteral("item sales, one month, ") + category, program, engine);
    }
    return 0;
}

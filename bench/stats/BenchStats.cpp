// Turnover for one year and item sales for one month on a generated data set (cjgendata), against the same
// result computed by one bare aggregate statement through the sqlite C API on the same file.
//   bench_stats [database]   (default /tmp/cjstats-3y.dat; make it with cjgendata --out FILE)
#include "app/Startup.h"
#include "stats/ItemSales.h"
#include "stats/Turnover.h"
#include "store/Database.h"
#include "store/Ids.h"

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

double medianMs(const std::function<void()>& work) {
    work(); // warm the page cache once, as a window used twice would
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return (times[kRuns / 2 - 1] + times[kRuns / 2]) / 2;
}

class BareConnection {
public:
    explicit BareConnection(const QString& path) {
        sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READONLY, nullptr);
        const QByteArray key = "PRAGMA key = '" + DatabasePassword().toUtf8() + "';";
        sqlite3_exec(db_, key.constData(), nullptr, nullptr, nullptr);
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

void report(const char* what, double program, double bare) {
    std::printf("%-34s program %8.2f ms   bare %8.2f ms   ratio %.2f\n", what, program, bare, program / bare);
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
    Database db(path, DatabasePassword());
    BareConnection bare(path);

    const QDate today = QDate::currentDate();
    const DateRange year{today.addYears(-1).addDays(1), today};
    const DateRange month{OneMonthBack(today), today};
    const QList<QByteArray> yearTexts{year.firstText().toUtf8(), year.lastText().toUtf8()};

    TurnoverTotals totals;
    const double turnover = medianMs([&] { totals = ComputeTurnover(db, year); });
    std::pair<int, double> bareTotals;
    const double bareTurnover = medianMs([&] {
        bareTotals = bare.run(
            "SELECT count(*), sum(\"菜品费用\"), sum(\"酒水费用\"), sum(\"其他费用\"), sum(\"应收\"), "
            "sum(\"实收\"), sum(\"挂账金额\") FROM \"桌台\" WHERE \"日期\" BETWEEN ? AND ?",
            yearTexts, 4);
    });
    std::printf("turnover %s..%s: %lld bills, 应收 %.2f (bare %.2f)\n", qPrintable(year.firstText()),
                qPrintable(year.lastText()), static_cast<long long>(totals.bills),
                totals.receivable.value_or(0), bareTotals.second);
    report("turnover, one year", turnover, bareTurnover);

    for (const QString& category : {QStringLiteral("菜品"), QStringLiteral("酒水"), QStringLiteral("其他")}) {
        std::vector<ItemSalesRow> rows;
        const double items = medianMs([&] { rows = ComputeItemSales(db, category, month); });
        const QList<QByteArray> parameters{category.toUtf8(), month.firstText().toUtf8(),
                                           month.lastText().toUtf8()};
        std::pair<int, double> bareRows;
        const double bareItems = medianMs([&] {
            bareRows = bare.run(
                "SELECT \"名称\", min(rowid), \"单位\", total(\"数量\"), total(\"金额\") FROM \"明细\" "
                "WHERE \"分类\" = ? AND \"日期\" BETWEEN ? AND ? GROUP BY \"名称\"",
                parameters, 4);
        });
        std::printf("item sales %s %s..%s: %zu rows with 合计 %s (bare %d rows)\n", qPrintable(category),
                    qPrintable(month.firstText()), qPrintable(month.lastText()), rows.size(),
                    qPrintable(rows.back().amount), bareRows.first);
        report(qPrintable(QStringLiteral("item sales, one month, %1").arg(category)), items, bareItems);
    }
    return 0;
}

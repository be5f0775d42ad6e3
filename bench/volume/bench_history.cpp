// History list on years of bills: the day query, a one-month query, the ten-year name search and reopening a
// bill, each against the same SELECT run bare through the sqlite C API on the same file. Medians of 10 runs.
// Usage: bench_history FILE   (a database made by cjgendata)
#include "bill/BillDocument.h"
#include "desk/History.h"
#include "main/HistoryPanel.h"
#include "store/Database.h"
#include "store/Ids.h"
#include "store/ProgramDatabase.h"
#include "store/Schema.h"
#include "store/Sql.h"

#include "common/Median.h"
#include <QCoreApplication>

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

// The same statement, stepped to the end by the engine alone, reading the columns the list shows.
int bareQuery(sqlite3* db, const char* sql, const QList<QByteArray>& params) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    for (int i = 0; i < params.size(); ++i)
        sqlite3_bind_text(stmt, i + 1, params[i].constData(), params[i].size(), SQLITE_STATIC);
    int rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            sqlite3_column_text(stmt, c);
        ++rows;
    }
    sqlite3_finalize(stmt);
    return rows;
}

// The plain statement the list stands for, with no index hint.
const char* kClosedSql = "SELECT \"id\", \"日期\", \"姓名\", \"桌号\", \"挂账状态\" FROM \"桌台\" "
                         "WHERE \"退桌状态\" = 'yes' AND ifnull(\"姓名\", '') LIKE ? ESCAPE '\\' "
                         "AND \"日期\" BETWEEN ? AND ? ORDER BY \"id\" DESC";

const char* kCountSql = "SELECT count(*) FROM \"桌台\" "
                        "WHERE \"退桌状态\" = 'yes' AND ifnull(\"姓名\", '') LIKE ? ESCAPE '\\' "
                        "AND \"日期\" BETWEEN ? AND ?";

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_history FILE\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    Database db(path, DatabasePassword());
    MigrateSchema(db); // the indexes the counter creates at start-up
    sqlite3* bare = nullptr;
    sqlite3_open_v2(argv[1], &bare, SQLITE_OPEN_READONLY, nullptr);
    const QByteArray keySql = "PRAGMA key = '" + DatabasePassword().toUtf8() + "';";
    sqlite3_exec(bare, keySql.constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(bare, "PRAGMA cache_size = -32768;", nullptr, nullptr, nullptr);

    Statement last(db, "SELECT max(\"日期\"), count(*) FROM \"桌台\"");
    last.next();
    const QDate day = QDate::fromString(last.text(0), QStringLiteral("yyyy-MM-dd"));
    std::printf("%lld bills, last day %s\n", last.integer(1), qPrintable(last.text(0)));
    Statement named(db, "SELECT substr(\"姓名\", 1, 1) FROM \"桌台\" WHERE \"姓名\" <> '' LIMIT 1");
    named.next();
    const QString name = named.text(0);

    struct Case {
        const char* label;
        HistoryQuery query;
    };
    const Case cases[] = {
        {"day query", {HistoryQuery::Kind::Closed, QString(), day, day}},
        {"one-month query", {HistoryQuery::Kind::Closed, QString(), OneMonthBack(day), day}},
        {"three-year query", {HistoryQuery::Kind::Closed, QString(), day.addYears(-3), day}},
        {"ten-year name search", {HistoryQuery::Kind::Closed, name, day.addYears(-10), day}},
    };
    for (const Case& c : cases) {
        int rows = 0;
        const double program = MedianMs(10, [&] { rows = RunHistoryQuery(db, c.query).size(); });
        const QList<QByteArray> params{LikeContainsPattern(c.query.searchText).toUtf8(),
                                       DateText(c.query.start).toUtf8(), DateText(c.query.end).toUtf8()};
        const double engine = MedianMs(10, [&] { bareQuery(bare, kClosedSql, params); });
        std::printf("%-22s %6d rows  program %7.2f ms  bare SELECT %7.2f ms  ratio %.2f\n", c.label, rows,
                    program, engine, program / engine);
    }

    // What the list shows at once: the count and the first page, against the same reads done bare.
    for (const Case& c : cases) {
        int rows = 0;
        const double program = MedianMs(10, [&] {
            HistoryList list(db, c.query);
            rows = static_cast<int>(list.next(HistoryPanel::kPageRows).size());
        });
        const QList<QByteArray> params{LikeContainsPattern(c.query.searchText).toUtf8(),
                                       DateText(c.query.start).toUtf8(), DateText(c.query.end).toUtf8()};
        const QByteArray firstPage =
            QByteArray(kClosedSql) + " LIMIT " + QByteArray::number(HistoryPanel::kPageRows);
        const double engine = MedianMs(10, [&] {
            bareQuery(bare, kCountSql, params);
            bareQuery(bare, firstPage.constData(), params);
        });
        std::printf("%-22s %6d rows  first page %5.2f ms  bare count+page %5.2f ms  ratio %.2f\n", c.label,
                    rows, program, engine, program / engine);
    }

    BillDocument bill(db);
    const QString billId =
        RunHistoryQuery(db, {HistoryQuery::Kind::Closed, QString(), day, day}).value(0).billId;
    const double reopen = MedianMs(10, [&] { bill.openClosedBill(billId); });
    const QByteArray id = billId.toUtf8();
    const double engine = MedianMs(10, [&] {
        bareQuery(bare, "SELECT * FROM \"桌台\" WHERE \"id\" = ?", {id});
        bareQuery(bare,
                  "SELECT * FROM \"明细\" WHERE \"id\" = ? ORDER BY CAST(\"排序\" AS INTEGER), rowid DESC",
                  {id});
    });
    std::printf("%-22s              program %7.2f ms  bare SELECT %7.2f ms  ratio %.2f\n", "reopen a bill",
                reopen, engine, reopen / engine);
    sqlite3_close(bare);
    return 0;
}

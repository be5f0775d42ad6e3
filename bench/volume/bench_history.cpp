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

// The same statement, stepped to the end by the engine alone, reading the columns the list shows. Gives
// the first column of each row.
QList<QByteArray> bareQuery(sqlite3* db, const char* sql, const QList<QByteArray>& params) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    for (int i = 0; i < params.size(); ++i)
        sqlite3_bind_text(stmt, i + 1, params[i].constData(), params[i].size(), SQLITE_STATIC);
    QList<QByteArray> firsts;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            sqlite3_column_text(stmt, c);
        firsts.append(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    return firsts;
}

bool SameBills(const QList<HistoryEntry>& entries, const QList<QByteArray>& ids) {
    if (entries.size() != ids.size())
        return false;
    for (int i = 0; i < ids.size(); ++i)
        if (entries.at(i).billId.toUtf8() != ids.at(i))
            return false;
    return true;
}

// The plain statement the list stands for, on the index SQLite picks for it by itself when the list's
// own id-ordered index is not there.
const char* kClosedSql = "SELECT \"id\", \"日期\", \"姓名\", \"桌号\", \"挂账状态\" FROM \"桌台\" "
                         "INDEXED BY \"桌台_历史\" "
                         "WHERE \"退桌状态\" = 'yes' AND ifnull(\"姓名\", '') LIKE ? ESCAPE '\\' "
                         "AND \"日期\" BETWEEN ? AND ? ORDER BY \"id\" DESC";

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
    // The whole list built at once, and what the list shows at once (the count and the first page), each
    // against the whole list's SELECT run bare. No figure for a query whose rows differ from the bare ones.
    bool allSame = true;
    for (const Case& c : cases) {
        const QList<QByteArray> params{LikeContainsPattern(c.query.searchText).toUtf8(),
                                       DateText(c.query.start).toUtf8(), DateText(c.query.end).toUtf8()};
        QList<QByteArray> bareIds;
        const double engine = MedianMs(10, [&] { bareIds = bareQuery(bare, kClosedSql, params); });
        QList<HistoryEntry> whole;
        const double program = MedianMs(10, [&] { whole = RunHistoryQuery(db, c.query); });
        QList<HistoryEntry> page;
        const double firstPage = MedianMs(10, [&] {
            HistoryList list(db, c.query);
            page = list.next(HistoryPanel::kPageRows);
        });
        if (!SameBills(whole, bareIds) || !SameBills(page, bareIds.mid(0, HistoryPanel::kPageRows))) {
            std::printf("%-22s the program's rows differ from the bare SELECT's\n", c.label);
            allSame = false;
            continue;
        }
        std::printf("%-22s %6lld rows  bare SELECT %7.2f ms  whole list %7.2f ms (%.2f)  first page %6.2f ms "
                    "(%.2f)\n",
                    c.label, static_cast<long long>(bareIds.size()), engine, program, program / engine,
                    firstPage, firstPage / engine);
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
    return allSame ? 0 : 1;
}

#include "app/DatabaseCopy.h"

#include "bill/BillStore.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <QList>
#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// Values per INSERT: one statement per row would cost a round trip each on a server; the file's engine
// takes at most 999 values in a statement.
constexpr int kValuesPerInsert = 999;
constexpr int kRowsPerRead = 20000;

QByteArray quoted(const QString& name) {
    return '"' + name.toUtf8() + '"';
}

// The table's columns as the engine reports them, without the server's own row number.
QStringList columnsOf(Database& db, const QString& table) {
    Statement probe(db, ("SELECT * FROM " + quoted(table) + " LIMIT 0").constData());
    probe.next();
    QStringList columns;
    for (int i = 0; i < probe.columnCount(); ++i)
        if (probe.columnName(i) != QLatin1String("rowid"))
            columns.append(probe.columnName(i));
    return columns;
}

qint64 countRows(Database& db, const QString& table) {
    Statement count(db, ("SELECT count(*) FROM " + quoted(table)).constData());
    return count.next() ? count.integer(0) : 0;
}

double sumOfReceivable(Database& db) {
    return BillStore(db).receivableOfAllBills();
}

QByteArray insertSql(const QString& table, const QStringList& columns, int rows) {
    QByteArray sql = "INSERT INTO " + quoted(table) + " (";
    for (int i = 0; i < columns.size(); ++i)
        sql += (i ? ", " : "") + quoted(columns.at(i));
    sql += ") VALUES ";
    QByteArray row = "(";
    for (int i = 0; i < columns.size(); ++i)
        row += i ? ", ?" : "?";
    row += ')';
    for (int r = 0; r < rows; ++r)
        sql += (r ? ", " : "") + row;
    return sql;
}

struct Value {
    bool null;
    QString text;
};

int rowsPerInsert(const QStringList& columns) {
    return std::max(1, kValuesPerInsert / static_cast<int>(columns.size()));
}

void insertRows(Database& to, const QString& table, const QStringList& columns, const QList<Value>& values,
                std::optional<Statement>& fullBatch) {
    const int rows = static_cast<int>(values.size() / columns.size());
    if (rows == 0)
        return;
    const int full = rowsPerInsert(columns);
    std::optional<Statement> partial;
    if (rows == full && !fullBatch)
        fullBatch.emplace(to, insertSql(table, columns, full).constData());
    if (rows != full)
        partial.emplace(to, insertSql(table, columns, rows).constData());
    Statement& insert = rows == full ? *fullBatch : *partial;
    for (int i = 0; i < values.size(); ++i) {
        if (values.at(i).null)
            insert.bindNull(i + 1);
        else
            insert.bind(i + 1, values.at(i).text);
    }
    insert.run();
    insert.reset();
}

// A server holds each text column to its width; a file does not, so an old file may hold a longer value.
// Said before the server refuses it, with where it is.
void checkFitsServer(const QString& table, const QString& column, int width, qint64 row,
                     const QString& value) {
    if (width > 0 && CharacterCount(value) > width)
        throw StoreError(
            QStringLiteral("“%1”表第 %2 行（rowid）的“%3”有 %4 个字符，服务器上最多 %5 个，没有复制。"
                           "请在源数据库里改短后再复制。")
                .arg(table)
                .arg(row)
                .arg(column)
                .arg(CharacterCount(value))
                .arg(width));
}

qint64 copyTable(Database& from, Database& to, const QString& table) {
    const QStringList columns = columnsOf(from, table);
    if (columns != columnsOf(to, table))
        throw StoreError(QStringLiteral("两个数据库的“%1”表结构不同，无法复制。").arg(table));
    QList<int> widths;
    for (const QString& column : columns)
        widths.append(to.isServer() ? ColumnWidth(table, column) : 0);
    // Read in pieces by row number, so a server's answer (held whole in memory) stays small.
    QByteArray select = "SELECT rowid";
    for (const QString& column : columns)
        select += ", " + quoted(column);
    select += " FROM " + quoted(table) + " WHERE rowid > ? ORDER BY rowid LIMIT " +
              QByteArray::number(kRowsPerRead);
    Statement read(from, select.constData());
    std::optional<Statement> fullBatch;
    QList<Value> batch;
    const qsizetype batchValues = rowsPerInsert(columns) * columns.size();
    batch.reserve(batchValues);
    qint64 copied = 0;
    qint64 last = -1;
    for (bool more = true; more;) {
        more = false;
        read.bind(1, last);
        while (read.next()) {
            more = true;
            last = read.integer(0);
            for (int i = 0; i < columns.size(); ++i) {
                batch.append({read.isNull(i + 1), read.text(i + 1)});
                checkFitsServer(table, columns.at(i), widths.at(i), last, batch.last().text);
            }
            ++copied;
            if (batch.size() == batchValues) {
                insertRows(to, table, columns, batch, fullBatch);
                batch.clear();
            }
        }
        read.reset();
    }
    insertRows(to, table, columns, batch, fullBatch);
    return copied;
}

// A target that holds the program's data (bills, or only its own name, password, dishes and printers) is
// replaced only when asked; one left by a copy that never finished holds nothing worth keeping.
void refuseTargetWithData(Database& to, const CopyOptions& options) {
    if (options.overwrite || to.holdsNoTables() || HasUnfinishedCopyMark(to))
        return;
    MigrateSchema(to);
    const qint64 bills = BillStore(to).billCount();
    throw StoreError(
        (bills > 0
             ? QStringLiteral("目标数据库 %1 已有 %2 张账单，没有复制。").arg(to.path()).arg(bills)
             : QStringLiteral("目标数据库 %1 已有点餐收银软件的数据（店名、密码、菜单或打印机），没有复制。")
                   .arg(to.path())) +
        QStringLiteral("确实要用源数据库覆盖它时，请加上 --overwrite。"));
}

// A server's trail and day closes cannot be deleted (see GuardActionTrail, GuardDayCloses), so a copy
// cannot replace one that holds rows; said before anything on the target changes. Empty ones are replaced
// like any table.
void refuseServerTargetWithTrail(Database& to) {
    if (!to.isServer())
        return;
    for (const char* table : {"操作记录", "日结"}) {
        if (!HasTable(to, table))
            continue;
        const qint64 rows = countRows(to, QString::fromUtf8(table));
        if (rows > 0)
            throw StoreError(QStringLiteral("目标数据库 %1 已有 %2 条%3，%3不能删除，没有复制。"
                                            "请复制到一个新建的空数据库。")
                                 .arg(to.path())
                                 .arg(rows)
                                 .arg(QString::fromUtf8(table)));
    }
}

void prepareTarget(Database& to) {
    if (!HasTable(to, "综合设置"))
        CreateSchema(to);
    else
        MigrateSchema(to);
}

// The copy reads the source as it is: a file (which the program would bring up to date at its next start
// anyway) is brought up to date first, a server's schema is left to its counters.
void prepareSource(Database& from) {
    if (from.holdsNoTables())
        throw StoreError(QStringLiteral("源数据库 %1 里没有点餐收银软件的数据。").arg(from.path()));
    if (!from.isServer()) {
        MigrateSchema(from);
        return;
    }
    const int version = from.userVersion();
    if (version != kSchemaVersion)
        throw StoreError(
            QStringLiteral("源数据库 %1 的数据是第 %2 版，本软件是第 %3 版：请先让一台装有本版软件的"
                           "收银台连接它一次，再复制。")
                .arg(from.path())
                .arg(version)
                .arg(kSchemaVersion));
}

} // namespace

bool NamesServerDatabase(const QString& name) {
    return name.startsWith(QLatin1String("postgresql://")) || name.startsWith(QLatin1String("postgres://")) ||
           (name.contains(QLatin1Char('=')) && !name.contains(QLatin1Char('/')));
}

CopyReport CopyDatabase(Database& from, Database& to, const CopyOptions& options) {
    prepareSource(from);
    refuseServerTargetWithTrail(to);
    refuseTargetWithData(to, options);
    // Stays on the target until the copy commits: a copy cut off half-way is never taken for a restaurant.
    MarkUnfinishedCopy(to);

    CopyReport report;
    Transaction reading(from, Transaction::Kind::Read);
    Transaction writing(to);
    prepareTarget(to);
    for (const QString& table : ProgramTableNames()) {
        to.exec(("DELETE FROM " + quoted(table)).constData());
        const qint64 rows = copyTable(from, to, table);
        const QString line = QStringLiteral("%1：%2 行").arg(table).arg(rows);
        report.lines.append(line);
        if (options.progress)
            options.progress(line);
    }
    for (const QString& table : ProgramTableNames())
        if (countRows(from, table) != countRows(to, table))
            throw StoreError(QStringLiteral("复制后“%1”的行数不一致，目标数据库没有改动。").arg(table));
    report.bills = BillStore(to).billCount();
    report.receivable = sumOfReceivable(from);
    if (std::abs(sumOfReceivable(to) - report.receivable) > 0.005)
        throw StoreError(QStringLiteral("复制后应收合计不一致，目标数据库没有改动。"));
    ClearUnfinishedCopyMark(to);
    writing.commit();
    reading.commit();
    return report;
}

#include "main/History.h"

#include "store/Database.h"
#include "store/Ids.h"
#include "store/Sql.h"

int SequenceWidth(int rowCount) {
    return static_cast<int>(QString::number(std::max(rowCount, 1)).size());
}

QList<HistoryEntry> RunHistoryQuery(Database& db, const HistoryQuery& query) {
    const bool onAccount = query.kind == HistoryQuery::Kind::OnAccount;
    const QString first = DateText(std::min(query.start, query.end));
    const QString last = DateText(std::max(query.start, query.end));
    const char* sql = onAccount ? "SELECT \"id\", \"日期\", \"姓名\", \"桌号\", \"挂账状态\" FROM \"桌台\" "
                                  "WHERE \"退桌状态\" = 'yes' AND ifnull(\"姓名\", '') LIKE ? ESCAPE '\\' "
                                  "AND \"挂账状态\" = '◆' AND \"日期\" BETWEEN ? AND ? ORDER BY \"id\" DESC"
                                : "SELECT \"id\", \"日期\", \"姓名\", \"桌号\", \"挂账状态\" FROM \"桌台\" "
                                  "WHERE \"退桌状态\" = 'yes' AND ifnull(\"姓名\", '') LIKE ? ESCAPE '\\' "
                                  "AND \"日期\" BETWEEN ? AND ? ORDER BY \"id\" DESC";
    Statement statement(db, sql);
    statement.bind(1, LikeContainsPattern(query.searchText)).bind(2, first).bind(3, last);

    struct Row {
        QString id, date, name, table, credit;
    };
    QList<Row> rows;
    while (statement.next())
        rows.append(
            {statement.text(0), statement.text(1), statement.text(2), statement.text(3), statement.text(4)});

    // The count is known before the first line: it sets the width of the sequence numbers.
    const int count = static_cast<int>(rows.size());
    const int width = SequenceWidth(count);
    QList<HistoryEntry> entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const Row& row = rows.at(i);
        const QString when = onAccount ? row.date.left(10) + QStringLiteral(" 00:00") : BillTimeText(row.id);
        const QString who = row.name.trimmed().isEmpty() ? row.table : row.name;
        const QString line = QStringLiteral("[%1]").arg(count - i, width, 10, QLatin1Char('0')) + when +
                             QLatin1Char('[') + who + QLatin1Char(']') + row.credit;
        entries.append({row.id, line});
    }
    return entries;
}

void DeleteBill(Database& db, const QString& billId) {
    Transaction transaction(db);
    Statement bill(db, "DELETE FROM \"桌台\" WHERE \"id\" = ?");
    bill.bind(1, billId).run();
    Statement lines(db, "DELETE FROM \"明细\" WHERE \"id\" = ?");
    lines.bind(1, billId).run();
    transaction.commit();
}

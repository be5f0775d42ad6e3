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
    // A name search reads only the small index of the bills that carry a name.
    const bool named = !query.searchText.isEmpty();
    QByteArray sql = "SELECT \"id\", \"日期\", \"姓名\", \"桌号\", \"挂账状态\" FROM \"桌台\" ";
    if (named)
        sql += "INDEXED BY \"桌台_姓名\" ";
    sql += "WHERE \"退桌状态\" = 'yes' AND ifnull(\"姓名\", '') LIKE ? ESCAPE '\\' ";
    if (named)
        sql += "AND \"姓名\" <> '' ";
    if (onAccount)
        sql += "AND \"挂账状态\" = '◆' ";
    sql += "AND \"日期\" BETWEEN ? AND ? ORDER BY \"id\" DESC";
    Statement statement(db, sql.constData());
    statement.bind(1, LikeContainsPattern(query.searchText)).bind(2, first).bind(3, last);

    QList<HistoryEntry> entries;
    while (statement.next()) {
        const QString id = statement.text(0);
        const QString name = statement.text(2);
        QString line;
        line.reserve(48);
        line += onAccount ? statement.text(1).left(10) + QStringLiteral(" 00:00") : BillTimeText(id);
        line += QLatin1Char('[');
        line += name.trimmed().isEmpty() ? statement.text(3) : name;
        line += QLatin1Char(']');
        line += statement.text(4);
        entries.append({id, line});
    }
    // The count is known only now: it sets the width of the sequence numbers, newest bill first.
    const int count = static_cast<int>(entries.size());
    const int width = SequenceWidth(count);
    for (int i = 0; i < count; ++i)
        entries[i].line.prepend(QLatin1Char('[') +
                                QString::number(count - i).rightJustified(width, QLatin1Char('0')) +
                                QLatin1Char(']'));
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

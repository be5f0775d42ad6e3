#include "bill/WaiterCalls.h"

#include "store/Database.h"
#include "store/Schema.h"

namespace {
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kWaiting = QStringLiteral("等待");
const QString kAnswered = QStringLiteral("已应答");
} // namespace

bool WaiterCalls::call(const QString& tableKey, const QString& tableName, const QDateTime& now) {
    CheckWidths(QStringLiteral("呼叫"), {{"餐桌", tableKey}, {"桌号", tableName}});
    Transaction step(db_);
    if (waits(tableKey))
        return false;
    Statement last(db_, "SELECT MAX(\"编号\") FROM \"呼叫\"");
    const qint64 previous = last.next() ? last.text(0).toLongLong() : 0;
    Statement insert(db_, "INSERT INTO \"呼叫\" (\"编号\", \"餐桌\", \"桌号\", \"时间\", \"状态\") "
                          "VALUES (?, ?, ?, ?, ?)");
    insert.bind(1, QStringLiteral("%1").arg(previous + 1, 12, 10, QLatin1Char('0')))
        .bind(2, tableKey)
        .bind(3, tableName)
        .bind(4, now.toString(kTimeFormat))
        .bind(5, kWaiting)
        .run();
    step.commit();
    return true;
}

QList<WaiterCall> WaiterCalls::waiting() {
    Statement query(db_, "SELECT \"编号\", \"餐桌\", \"桌号\", \"时间\" FROM \"呼叫\" WHERE \"状态\" = ? "
                         "ORDER BY \"编号\"");
    query.bind(1, kWaiting);
    QList<WaiterCall> calls;
    while (query.next())
        calls.append(
            {query.text(0), query.text(1), query.text(2), QDateTime::fromString(query.text(3), kTimeFormat)});
    return calls;
}

bool WaiterCalls::waits(const QString& tableKey) {
    Statement query(db_, "SELECT 1 FROM \"呼叫\" WHERE \"餐桌\" = ? AND \"状态\" = ? LIMIT 1");
    query.bind(1, tableKey).bind(2, kWaiting);
    return query.next();
}

void WaiterCalls::answerAll() {
    Statement update(db_, "UPDATE \"呼叫\" SET \"状态\" = ? WHERE \"状态\" = ?");
    update.bind(1, kAnswered).bind(2, kWaiting).run();
}

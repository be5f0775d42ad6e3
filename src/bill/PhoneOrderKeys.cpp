#include "bill/PhoneOrderKeys.h"

#include "store/Database.h"
#include "store/Schema.h"

#include <QRandomGenerator>
#include <QRegularExpression>

namespace {
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

QString PhoneOrderKeys::NewKey() {
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return QString::fromLatin1(bytes.toHex());
}

bool PhoneOrderKeys::LooksLikeKey(const QString& text) {
    static const QRegularExpression shape(QStringLiteral("^[0-9a-f]{32}$"));
    return shape.match(text).hasMatch();
}

std::optional<QString> PhoneOrderKeys::resultOf(const QString& key) {
    Statement query(db_, "SELECT \"结果\" FROM \"手机订单令牌\" WHERE \"令牌\" = ?");
    query.bind(1, key);
    if (!query.next())
        return std::nullopt;
    return query.text(0);
}

void PhoneOrderKeys::record(const QString& key, const QString& tableName, const QString& result,
                            const QDateTime& now) {
    CheckWidths(QStringLiteral("手机订单令牌"), {{"桌号", tableName}, {"结果", result}});
    Statement prune(db_, "DELETE FROM \"手机订单令牌\" WHERE \"时间\" < ?");
    prune.bind(1, now.addDays(-2).toString(kTimeFormat)).run();
    Statement insert(
        db_, "INSERT INTO \"手机订单令牌\" (\"令牌\", \"时间\", \"桌号\", \"结果\") VALUES (?, ?, ?, ?)");
    insert.bind(1, key).bind(2, now.toString(kTimeFormat)).bind(3, tableName).bind(4, result).run();
}

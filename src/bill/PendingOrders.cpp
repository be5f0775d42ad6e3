#include "bill/PendingOrders.h"

#include "store/Database.h"
#include "store/Schema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString ItemsText(const QList<PendingItem>& items) {
    QJsonArray array;
    for (const PendingItem& item : items)
        array.append(QJsonObject{{QStringLiteral("序号"), item.menuKey},
                                 {QStringLiteral("分类"), item.category},
                                 {QStringLiteral("名称"), item.name},
                                 {QStringLiteral("数量"), item.quantity},
                                 {QStringLiteral("备注"), item.remark}});
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QList<PendingItem> ItemsFrom(const QString& text) {
    QList<PendingItem> items;
    for (const QJsonValue& value : QJsonDocument::fromJson(text.toUtf8()).array()) {
        const QJsonObject object = value.toObject();
        items.append(
            {object.value(QStringLiteral("序号")).toString(), object.value(QStringLiteral("分类")).toString(),
             object.value(QStringLiteral("名称")).toString(), object.value(QStringLiteral("数量")).toString(),
             object.value(QStringLiteral("备注")).toString()});
    }
    return items;
}

constexpr const char* kColumns = "\"编号\", \"餐桌\", \"桌号\", \"时间\", \"内容\", \"状态\", \"说明\"";

PendingOrder ReadOrder(const Statement& row) {
    return {row.text(0),
            row.text(1),
            row.text(2),
            QDateTime::fromString(row.text(3), kTimeFormat),
            ItemsFrom(row.text(4)),
            row.text(5),
            row.text(6)};
}

QList<PendingOrder> ReadOrders(Statement& rows) {
    QList<PendingOrder> orders;
    while (rows.next())
        orders.append(ReadOrder(rows));
    return orders;
}

} // namespace

QString PendingOrders::add(const PendingOrder& order) {
    const QString content = ItemsText(order.items);
    CheckWidths(QStringLiteral("待确认订单"),
                {{"桌号", order.tableName}, {"内容", content}, {"说明", order.note}});
    Transaction step(db_);
    // Ids are zero-padded, so their text order is the order they came in; the write lock keeps them apart.
    Statement last(db_, "SELECT MAX(\"编号\") FROM \"待确认订单\"");
    const qint64 previous = last.next() ? last.text(0).toLongLong() : 0;
    const QString id = QStringLiteral("%1").arg(previous + 1, 12, 10, QLatin1Char('0'));
    Statement insert(
        db_, (QByteArray("INSERT INTO \"待确认订单\" (") + kColumns + ") VALUES (?, ?, ?, ?, ?, ?, ?)")
                 .constData());
    insert.bind(1, id)
        .bind(2, order.tableKey)
        .bind(3, order.tableName)
        .bind(4, order.at.toString(kTimeFormat));
    insert.bind(5, content).bind(6, kPendingWaiting).bind(7, order.note).run();
    step.commit();
    return id;
}

std::optional<PendingOrder> PendingOrders::find(const QString& id) {
    Statement query(
        db_, (QByteArray("SELECT ") + kColumns + " FROM \"待确认订单\" WHERE \"编号\" = ?").constData());
    query.bind(1, id);
    if (!query.next())
        return std::nullopt;
    return ReadOrder(query);
}

QList<PendingOrder> PendingOrders::waiting() {
    Statement query(
        db_, (QByteArray("SELECT ") + kColumns + " FROM \"待确认订单\" WHERE \"状态\" = ? ORDER BY \"编号\"")
                 .constData());
    query.bind(1, kPendingWaiting);
    return ReadOrders(query);
}

QList<PendingOrder> PendingOrders::ofTable(const QString& tableKey, const QDate& day) {
    Statement query(db_, (QByteArray("SELECT ") + kColumns +
                          " FROM \"待确认订单\" WHERE \"餐桌\" = ? AND \"时间\" >= ? ORDER BY \"编号\" DESC")
                             .constData());
    query.bind(1, tableKey).bind(2, day.toString(QStringLiteral("yyyy-MM-dd")));
    return ReadOrders(query);
}

bool PendingOrders::settle(const QString& id, const QString& state, const QString& note) {
    CheckWidths(QStringLiteral("待确认订单"), {{"说明", note}});
    Statement update(
        db_, "UPDATE \"待确认订单\" SET \"状态\" = ?, \"说明\" = ? WHERE \"编号\" = ? AND \"状态\" = ?");
    update.bind(1, state).bind(2, note).bind(3, id).bind(4, kPendingWaiting).run();
    return db_.changes() == 1;
}

#include "store/Settings.h"

#include "store/Database.h"
#include "store/Schema.h"

QByteArray SlotColumnSql(int index) {
    if (index < 0 || index >= kSlotColumns)
        throw StoreError(QStringLiteral("桌号 %1 超出范围").arg(index));
    return '"' + QByteArray::number(index) + '"';
}

std::optional<SettingsRow> ReadSettingsRow(Database& db) {
    Statement query(db,
                    "SELECT \"餐馆名称\", \"电话\", \"地址\", \"左边距\", \"上边距\", \"密码\", \"手机点餐\" "
                    "FROM \"综合设置\" ORDER BY rowid LIMIT 1");
    if (!query.next())
        return std::nullopt;
    return SettingsRow{query.text(0), query.text(1), query.text(2), query.text(3),
                       query.text(4), query.text(5), query.text(6)};
}

QStringList ReadSlots(Database& db, int count) {
    QByteArray sql = "SELECT ";
    for (int i = 0; i < count; ++i)
        sql += (i ? ", " : "") + SlotColumnSql(i);
    sql += " FROM \"综合设置\" ORDER BY rowid LIMIT 1";
    QStringList slots;
    if (count <= 0)
        return slots;
    Statement query(db, sql.constData());
    if (query.next())
        for (int i = 0; i < count; ++i)
            slots.append(query.text(i));
    return slots;
}

void WriteSlot(Database& db, int index, const QString& billId) {
    const QByteArray sql = "UPDATE \"综合设置\" SET " + SlotColumnSql(index) +
                           " = ? WHERE rowid = (SELECT min(rowid) FROM \"综合设置\")";
    Statement update(db, sql.constData());
    update.bind(1, billId).run();
}

bool ReadPhoneOrdersToKitchen(Database& db) {
    Statement query(db, "SELECT \"手机送厨\" FROM \"综合设置\" ORDER BY rowid LIMIT 1");
    return !query.next() || query.text(0) != QLatin1String("0");
}

GuestLimits ReadGuestLimits(Database& db) {
    GuestLimits limits;
    Statement query(db, "SELECT \"顾客每道限量\", \"顾客每单限量\", \"顾客订单确认\" FROM \"综合设置\" "
                        "ORDER BY rowid LIMIT 1");
    if (!query.next())
        return limits;
    // A value that is not a sensible count keeps the default: a limit must never let everything through.
    const auto count = [](const QString& text, int otherwise) {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        return ok && value >= 1 && value <= 9999 ? value : otherwise;
    };
    limits.perDish = count(query.text(0), limits.perDish);
    limits.perOrder = count(query.text(1), limits.perOrder);
    limits.confirm = query.text(2) == QLatin1String("1");
    return limits;
}

void WriteGuestLimits(Database& db, const GuestLimits& limits) {
    for (const int value : {limits.perDish, limits.perOrder})
        if (value < 1 || value > 9999)
            throw StoreError(QStringLiteral("顾客点餐的限量应在 1 到 9999 之间，未保存。"));
    Statement update(db, "UPDATE \"综合设置\" SET \"顾客每道限量\" = ?, \"顾客每单限量\" = ?, "
                         "\"顾客订单确认\" = ? WHERE rowid = (SELECT min(rowid) FROM \"综合设置\")");
    update.bind(1, QString::number(limits.perDish)).bind(2, QString::number(limits.perOrder));
    update.bind(3, limits.confirm ? QStringLiteral("1") : QStringLiteral("0")).run();
}

void WritePhoneOrdersToKitchen(Database& db, bool on) {
    Statement update(
        db, "UPDATE \"综合设置\" SET \"手机送厨\" = ? WHERE rowid = (SELECT min(rowid) FROM \"综合设置\")");
    update.bind(1, on ? QStringLiteral("1") : QStringLiteral("0")).run();
}

bool ReadNewOrderAlert(Database& db) {
    Statement query(db, "SELECT \"新单提醒\" FROM \"综合设置\" ORDER BY rowid LIMIT 1");
    return query.next() && query.text(0).trimmed() == QLatin1String("1");
}

void WriteNewOrderAlert(Database& db, bool on) {
    Statement update(
        db, "UPDATE \"综合设置\" SET \"新单提醒\" = ? WHERE rowid = (SELECT min(rowid) FROM \"综合设置\")");
    update.bind(1, on ? QStringLiteral("1") : QStringLiteral("0")).run();
}

QTime ReadBusinessDayEnd(Database& db) {
    const QTime usual(4, 0);
    Statement query(db, "SELECT \"营业日结束\" FROM \"综合设置\" ORDER BY rowid LIMIT 1");
    if (!query.next())
        return usual;
    const QTime stored = QTime::fromString(query.text(0).trimmed(), QStringLiteral("HH:mm"));
    return stored.isValid() ? stored : usual;
}

void WriteBusinessDayEnd(Database& db, const QTime& end) {
    if (!end.isValid())
        throw StoreError(QStringLiteral("营业日结束时间无效，未保存。"));
    Statement update(db, "UPDATE \"综合设置\" SET \"营业日结束\" = ? "
                         "WHERE rowid = (SELECT min(rowid) FROM \"综合设置\")");
    update.bind(1, end.toString(QStringLiteral("HH:mm"))).run();
}

#include "store/ActionTrail.h"

#include "store/Database.h"
#include "store/Schema.h"
#include "store/Sql.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QtEndian>
#include <array>

namespace {

const QString kTable = QStringLiteral("操作记录");

constexpr const char* kRowColumns = "\"序号\", \"时间\", \"工号\", \"动作\", \"桌号\", \"单号\", \"内容\", "
                                    "\"原因\", \"批准人\", \"校验\"";

// A trail row must never stop the action it records: a value longer than its column is cut to fit, and a
// NUL (which neither engine stores) dropped, where every other write refuses such a value.
QString fitted(const char* column, QString value) {
    value.remove(QChar(u'\0'));
    const int width = ColumnWidth(kTable, QString::fromUtf8(column));
    const QList<uint> characters = value.toUcs4();
    if (width <= 0 || characters.size() <= width)
        return value;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData()), width);
}

Action fittedAction(const Action& action) {
    return {fitted("工号", action.staff),      fitted("动作", action.action),  fitted("桌号", action.table),
            fitted("单号", action.bill),       fitted("内容", action.content), fitted("原因", action.reason),
            fitted("批准人", action.approver), fitted("时间", action.time)};
}

TrailRow rowAt(const Statement& read) {
    TrailRow row;
    row.serial = read.integer(0);
    row.action = {read.text(2), read.text(3), read.text(4), read.text(5),
                  read.text(6), read.text(7), read.text(8), read.text(1)};
    row.check = read.text(9);
    return row;
}

QString now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

QString ActionTrail::CheckOf(const QString& previous, qint64 serial, const Action& action) {
    // Each field as its UTF-8 length (4 bytes, big-endian) and bytes, so no two rows encode alike.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const std::array fields{
        previous,    QString::number(serial), action.time,   action.staff,   action.action, action.table,
        action.bill, action.content,          action.reason, action.approver};
    for (const QString& field : fields) {
        const QByteArray bytes = field.toUtf8();
        const quint32 length = qToBigEndian(static_cast<quint32>(bytes.size()));
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&length), sizeof length));
        hash.addData(bytes);
    }
    return QString::fromLatin1(hash.result().toHex());
}

qint64 ActionTrail::append(Action action) {
    if (action.time.isEmpty())
        action.time = now();
    const Action stored = fittedAction(action);
    // The write step holds the write lock of every connection, so no other row can take the same 序号.
    // Rows are only appended, so the newest is the last one stored: found by the row number's own index,
    // where ordering by 序号 (a text) would read the whole trail for every action.
    Transaction step(db_);
    Statement last(db_, "SELECT \"序号\", \"校验\" FROM \"操作记录\" ORDER BY rowid DESC LIMIT 1");
    const bool any = last.next();
    const qint64 serial = any ? last.integer(0) + 1 : 1;
    const QString previous = any ? last.text(1) : QString();
    Statement insert(db_,
                     "INSERT INTO \"操作记录\" (\"序号\", \"时间\", \"工号\", \"动作\", \"桌号\", \"单号\", "
                     "\"内容\", \"原因\", \"批准人\", \"校验\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, QString::number(serial)).bind(2, stored.time).bind(3, stored.staff);
    insert.bind(4, stored.action).bind(5, stored.table).bind(6, stored.bill).bind(7, stored.content);
    insert.bind(8, stored.reason).bind(9, stored.approver).bind(10, CheckOf(previous, serial, stored));
    insert.run();
    step.commit();
    return serial;
}

TrailCheck ActionTrail::verify() {
    Transaction reading(db_, Transaction::Kind::Read);
    Statement read(db_, (QByteArray("SELECT ") + kRowColumns +
                         " FROM \"操作记录\" ORDER BY CAST(\"序号\" AS INTEGER), rowid")
                            .constData());
    qint64 expected = 1;
    QString previous;
    for (; read.next(); ++expected) {
        const TrailRow row = rowAt(read);
        if (row.serial > expected)
            return {TrailCheck::Problem::Missing, expected};
        if (read.text(0) != QString::number(expected) || row.check != CheckOf(previous, expected, row.action))
            return {TrailCheck::Problem::Changed, expected};
        previous = row.check;
    }
    return {};
}

QList<TrailRow> ActionTrail::rows(const TrailFilter& filter) {
    QByteArray sql = QByteArray("SELECT ") + kRowColumns + " FROM \"操作记录\" WHERE 1 = 1";
    QStringList values;
    if (filter.first.isValid()) {
        sql += " AND \"时间\" >= ?";
        values.append(filter.first.toString(Qt::ISODate));
    }
    if (filter.last.isValid()) {
        sql += " AND \"时间\" < ?";
        values.append(filter.last.addDays(1).toString(Qt::ISODate));
    }
    if (!filter.staff.isEmpty()) {
        sql += " AND \"工号\" = ?";
        values.append(filter.staff);
    }
    if (!filter.actionContains.isEmpty()) {
        sql += " AND \"动作\" LIKE ? ESCAPE '\\'";
        values.append(LikeContainsPattern(filter.actionContains));
    }
    if (!filter.table.isEmpty()) {
        sql += " AND \"桌号\" = ?";
        values.append(filter.table);
    }
    if (!filter.action.isEmpty()) {
        sql += " AND \"动作\" = ?";
        values.append(filter.action);
    }
    // Newest by the clock: a trail copied in from another file may hold 序号 that do not follow the time.
    sql += filter.newestFirst ? " ORDER BY \"时间\" DESC, CAST(\"序号\" AS INTEGER) DESC"
                              : " ORDER BY CAST(\"序号\" AS INTEGER)";
    Statement read(db_, sql.constData());
    for (int i = 0; i < values.size(); ++i)
        read.bind(i + 1, values.at(i));
    QList<TrailRow> found;
    while (read.next())
        found.append(rowAt(read));
    return found;
}

QList<TrailDayCount> ActionTrail::dailyCounts(const QDate& first, const QDate& last,
                                              const QStringList& actions) {
    if (actions.isEmpty())
        return {};
    // 时间 is stored as "yyyy-MM-dd HH:mm:ss" on both engines, so its first ten characters are the day and
    // substr() groups by it alike on SQLite and PostgreSQL.
    QByteArray sql = "SELECT substr(\"时间\", 1, 10), \"工号\", \"动作\", count(*) FROM \"操作记录\" "
                     "WHERE \"时间\" >= ? AND \"时间\" < ? AND \"动作\" IN (?";
    for (qsizetype i = 1; i < actions.size(); ++i)
        sql += ", ?";
    sql += ") GROUP BY substr(\"时间\", 1, 10), \"工号\", \"动作\" "
           "ORDER BY substr(\"时间\", 1, 10) DESC, \"工号\", \"动作\"";
    Statement read(db_, sql.constData());
    read.bind(1, first.toString(Qt::ISODate)).bind(2, last.addDays(1).toString(Qt::ISODate));
    for (qsizetype i = 0; i < actions.size(); ++i)
        read.bind(static_cast<int>(i) + 3, actions.at(i));
    QList<TrailDayCount> counts;
    while (read.next())
        counts.append(
            {QDate::fromString(read.text(0), Qt::ISODate), read.text(1), read.text(2), read.integer(3)});
    return counts;
}

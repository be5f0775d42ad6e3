#include "print/JobStore.h"

#include "store/Database.h"
#include "store/Schema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int kIdDigits = 12;
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

const QList<std::pair<JobKind, QString>>& KindTexts() {
    static const QList<std::pair<JobKind, QString>> texts{{JobKind::Kitchen, QStringLiteral("后厨")},
                                                          {JobKind::Bill, QStringLiteral("账单")},
                                                          {JobKind::TestPage, QStringLiteral("测试页")},
                                                          {JobKind::Drawer, QStringLiteral("钱箱")},
                                                          {JobKind::Report, QStringLiteral("报表")}};
    return texts;
}

const QList<std::pair<JobState, QString>>& StateTexts() {
    static const QList<std::pair<JobState, QString>> texts{{JobState::Waiting, QStringLiteral("待打印")},
                                                           {JobState::Sending, QStringLiteral("发送中")},
                                                           {JobState::Printed, QStringLiteral("已打印")},
                                                           {JobState::NotRouted, QStringLiteral("未送出")},
                                                           {JobState::GivenUp, QStringLiteral("已放弃")}};
    return texts;
}

template <class Value>
Value FromText(const QList<std::pair<Value, QString>>& texts, const QString& text, Value otherwise) {
    for (const auto& [value, name] : texts)
        if (name == text)
            return value;
    return otherwise;
}

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// The columns every read takes, in this order, between the parts of a statement.
QByteArray WithJobColumns(const char* before, const char* after) {
    return QByteArray(before) +
           "\"编号\", \"打印机\", \"种类\", \"状态\", \"时间\", \"单号\", \"来源\", \"桌号\", \"内容\", "
           "\"补打\", \"重打\", \"说明\", \"完成时间\"" +
           after;
}

PrintJob ReadJob(const Statement& row) {
    PrintJob job;
    job.id = row.text(0);
    job.printer = row.text(1);
    job.kind = FromText(KindTexts(), row.text(2), JobKind::Kitchen);
    job.state = FromText(StateTexts(), row.text(3), JobState::GivenUp);
    job.created = QDateTime::fromString(row.text(4), kTimeFormat);
    job.number = row.text(5).toInt();
    job.source = row.text(6);
    job.tableName = row.text(7);
    ReadJobContent(row.text(8), job);
    job.recovery = row.text(9) == QLatin1String("1");
    job.reprint = row.text(10) == QLatin1String("1");
    job.note = row.text(11);
    job.finishedAt = row.text(12);
    return job;
}

QJsonArray LinesJson(const QList<OrderLine>& lines) {
    QJsonArray array;
    for (const OrderLine& line : lines)
        array.append(QJsonObject{{QStringLiteral("序号"), line.lineId},
                                 {QStringLiteral("名称"), line.name},
                                 {QStringLiteral("数量"), line.quantity},
                                 {QStringLiteral("单位"), line.unit},
                                 {QStringLiteral("金额"), line.amount},
                                 {QStringLiteral("备注"), line.remark},
                                 {QStringLiteral("分类"), line.category}});
    return array;
}

QList<OrderLine> LinesFromJson(const QJsonArray& array) {
    QList<OrderLine> lines;
    for (const QJsonValue& value : array) {
        const QJsonObject object = value.toObject();
        OrderLine line;
        line.lineId = object.value(QStringLiteral("序号")).toString();
        line.name = object.value(QStringLiteral("名称")).toString();
        line.quantity = object.value(QStringLiteral("数量")).toString();
        line.unit = object.value(QStringLiteral("单位")).toString();
        line.amount = object.value(QStringLiteral("金额")).toString();
        line.remark = object.value(QStringLiteral("备注")).toString();
        line.category = object.value(QStringLiteral("分类")).toString();
        lines.append(line);
    }
    return lines;
}

} // namespace

QString JobKindText(JobKind kind) {
    for (const auto& [value, name] : KindTexts())
        if (value == kind)
            return name;
    return {};
}

QString JobStateShown(const PrintJob& job) {
    switch (job.state) {
    case JobState::Waiting:
        return job.recovery ? QStringLiteral("补打") : QStringLiteral("等待");
    case JobState::GivenUp:
        return QStringLiteral("失败");
    default:
        return JobStateText(job.state);
    }
}

QString JobStateText(JobState state) {
    for (const auto& [value, name] : StateTexts())
        if (value == state)
            return name;
    return {};
}

QString JobContentText(const PrintJob& job) {
    QJsonObject content;
    if (job.kind == JobKind::Kitchen) {
        content.insert(QStringLiteral("lines"), LinesJson(job.lines));
        const std::pair<const char*, QString> extras[] = {
            {"账单", job.billId}, {"改动", job.change}, {"原因", job.reason}};
        for (const auto& [key, value] : extras)
            if (!value.isEmpty())
                content.insert(QString::fromUtf8(key), value);
    }
    if (job.kind == JobKind::Bill) {
        const BillData& bill = job.bill;
        content = QJsonObject{{QStringLiteral("餐馆名称"), bill.restaurantName},
                              {QStringLiteral("地址"), bill.address},
                              {QStringLiteral("电话"), bill.phone},
                              {QStringLiteral("桌号"), bill.tableName},
                              {QStringLiteral("应收"), bill.receivable},
                              {QStringLiteral("实收"), bill.received},
                              {QStringLiteral("打印时间"), bill.printTime.toString(kTimeFormat)},
                              {QStringLiteral("lines"), LinesJson(bill.lines)}};
    }
    if (job.kind == JobKind::Report) {
        QJsonArray rows;
        for (const auto& [label, value] : job.rows)
            rows.append(QJsonArray{label, value});
        content = QJsonObject{{QStringLiteral("标题"), job.title}, {QStringLiteral("rows"), rows}};
    }
    return QString::fromUtf8(QJsonDocument(content).toJson(QJsonDocument::Compact));
}

void ReadJobContent(const QString& text, PrintJob& job) {
    const QJsonObject content = QJsonDocument::fromJson(text.toUtf8()).object();
    const QList<OrderLine> lines = LinesFromJson(content.value(QStringLiteral("lines")).toArray());
    if (job.kind == JobKind::Kitchen) {
        job.lines = lines;
        job.billId = content.value(QStringLiteral("账单")).toString();
        job.change = content.value(QStringLiteral("改动")).toString();
        job.reason = content.value(QStringLiteral("原因")).toString();
    }
    if (job.kind == JobKind::Report) {
        job.title = content.value(QStringLiteral("标题")).toString();
        for (const QJsonValue& value : content.value(QStringLiteral("rows")).toArray()) {
            const QJsonArray row = value.toArray();
            job.rows.append({row.at(0).toString(), row.at(1).toString()});
        }
    }
    if (job.kind != JobKind::Bill)
        return;
    BillData& bill = job.bill;
    bill.restaurantName = content.value(QStringLiteral("餐馆名称")).toString();
    bill.address = content.value(QStringLiteral("地址")).toString();
    bill.phone = content.value(QStringLiteral("电话")).toString();
    bill.tableName = content.value(QStringLiteral("桌号")).toString();
    bill.receivable = content.value(QStringLiteral("应收")).toString();
    bill.received = content.value(QStringLiteral("实收")).toString();
    bill.printTime = QDateTime::fromString(content.value(QStringLiteral("打印时间")).toString(), kTimeFormat);
    bill.lines = lines;
}

QString JobStore::add(const PrintJob& job) {
    const QString content = JobContentText(job);
    CheckWidths(QStringLiteral("打印任务"), {{"打印机", job.printer},
                                             {"桌号", job.tableName},
                                             {"来源", job.source},
                                             {"说明", job.note},
                                             {"内容", content}});
    Transaction step(db_);
    // Ids are zero-padded, so the text order is the order they were given in; the write lock of the step
    // keeps another process from taking the same one.
    Statement last(db_, "SELECT MAX(\"编号\") FROM \"打印任务\"");
    const qint64 previous = last.next() ? last.text(0).toLongLong() : 0;
    const QString id = QStringLiteral("%1").arg(previous + 1, kIdDigits, 10, QLatin1Char('0'));
    Statement insert(db_, WithJobColumns("INSERT INTO \"打印任务\" (",
                                         ", \"日期\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                              .constData());
    insert.bind(1, id)
        .bind(2, job.printer)
        .bind(3, JobKindText(job.kind))
        .bind(4, JobStateText(job.state))
        .bind(5, job.created.toString(kTimeFormat))
        .bind(6, job.number > 0 ? QString::number(job.number) : QString())
        .bind(7, job.source)
        .bind(8, job.tableName)
        .bind(9, content)
        .bind(10, Flag(job.recovery))
        .bind(11, Flag(job.reprint))
        .bind(12, job.note)
        .bind(13, job.finishedAt)
        .bind(14, job.created.date().toString(kDateFormat));
    insert.run();
    if (db_.isServer())
        db_.notify(kJobsChannel);
    step.commit();
    return id;
}

int JobStore::nextTicketNumber(const QDate& day) {
    // The CASE keeps the cast away from empty numbers whichever order an engine evaluates the filter in.
    Statement query(db_, "SELECT MAX(CAST(CASE WHEN \"单号\" = '' THEN '0' ELSE \"单号\" END AS INTEGER)) "
                         "FROM \"打印任务\" WHERE \"日期\" = ?");
    query.bind(1, day.toString(kDateFormat));
    return (query.next() ? static_cast<int>(query.integer(0)) : 0) + 1;
}

std::optional<PrintJob> JobStore::job(const QString& id) {
    Statement query(db_, WithJobColumns("SELECT ", " FROM \"打印任务\" WHERE \"编号\" = ?").constData());
    query.bind(1, id);
    if (!query.next())
        return std::nullopt;
    return ReadJob(query);
}

std::optional<PrintJob> JobStore::nextWaiting(const QString& printer) {
    Statement query(db_, WithJobColumns("SELECT ", " FROM \"打印任务\" WHERE \"状态\" = ? AND \"打印机\" = ? "
                                                   "ORDER BY \"编号\" LIMIT 1")
                             .constData());
    query.bind(1, JobStateText(JobState::Waiting)).bind(2, printer);
    if (!query.next())
        return std::nullopt;
    return ReadJob(query);
}

void JobStore::setState(const QString& id, JobState from, JobState to, const QString& note) {
    Statement update(
        db_, "UPDATE \"打印任务\" SET \"状态\" = ?, \"说明\" = ? WHERE \"编号\" = ? AND \"状态\" = ?");
    update.bind(1, JobStateText(to)).bind(2, note.left(200)).bind(3, id).bind(4, JobStateText(from));
    update.run();
}

bool JobStore::claim(const QString& id) {
    setState(id, JobState::Waiting, JobState::Sending, {});
    return db_.changes() == 1;
}

void JobStore::markPrinted(const QString& id, const QDateTime& at) {
    Statement update(db_, "UPDATE \"打印任务\" SET \"状态\" = ?, \"说明\" = '', \"完成时间\" = ? "
                          "WHERE \"编号\" = ?");
    update.bind(1, JobStateText(JobState::Printed)).bind(2, at.toString(kTimeFormat)).bind(3, id);
    update.run();
}

void JobStore::putBack(const QString& id, bool maybePrinted, const QString& why) {
    Transaction step(db_);
    setState(id, JobState::Sending, JobState::Waiting, why);
    if (maybePrinted) {
        Statement update(db_, "UPDATE \"打印任务\" SET \"补打\" = '1' WHERE \"编号\" = ?");
        update.bind(1, id).run();
    }
    step.commit();
}

void JobStore::giveUp(const QString& id, const QString& why) {
    Statement update(db_, "UPDATE \"打印任务\" SET \"状态\" = ?, \"说明\" = ? WHERE \"编号\" = ? "
                          "AND \"状态\" IN (?, ?)");
    update.bind(1, JobStateText(JobState::GivenUp))
        .bind(2, why.left(200))
        .bind(3, id)
        .bind(4, JobStateText(JobState::Waiting))
        .bind(5, JobStateText(JobState::Sending));
    update.run();
}

void JobStore::giveUpWaiting(const QString& printer, const QString& why) {
    Statement update(db_, "UPDATE \"打印任务\" SET \"状态\" = ?, \"说明\" = ? WHERE \"打印机\" = ? "
                          "AND \"状态\" = ?");
    update.bind(1, JobStateText(JobState::GivenUp))
        .bind(2, why.left(200))
        .bind(3, printer)
        .bind(4, JobStateText(JobState::Waiting));
    update.run();
}

void JobStore::renamePrinter(const QString& oldName, const QString& newName) {
    if (oldName == newName)
        return;
    Statement update(db_,
                     "UPDATE \"打印任务\" SET \"打印机\" = ? WHERE \"打印机\" = ? AND \"状态\" IN (?, ?)");
    update.bind(1, newName)
        .bind(2, oldName)
        .bind(3, JobStateText(JobState::Waiting))
        .bind(4, JobStateText(JobState::Sending));
    update.run();
}

int JobStore::recoverInterrupted() {
    Statement update(db_, "UPDATE \"打印任务\" SET \"状态\" = ?, \"补打\" = '1', \"说明\" = ? "
                          "WHERE \"状态\" = ?");
    update.bind(1, JobStateText(JobState::Waiting))
        .bind(2, QStringLiteral("上次发送时程序中断"))
        .bind(3, JobStateText(JobState::Sending));
    update.run();
    return static_cast<int>(db_.changes());
}

QHash<QString, int> JobStore::unfinishedByPrinter() {
    Statement query(db_, "SELECT \"打印机\", COUNT(*) FROM \"打印任务\" WHERE \"状态\" IN (?, ?) "
                         "GROUP BY \"打印机\"");
    query.bind(1, JobStateText(JobState::Waiting)).bind(2, JobStateText(JobState::Sending));
    QHash<QString, int> counts;
    while (query.next())
        counts.insert(query.text(0), static_cast<int>(query.integer(1)));
    return counts;
}

std::pair<int, QString> JobStore::notRouted(const QDate& day) {
    Statement query(db_,
                    "SELECT COUNT(*), MAX(\"编号\") FROM \"打印任务\" WHERE \"日期\" = ? AND \"状态\" = ?");
    query.bind(1, day.toString(kDateFormat)).bind(2, JobStateText(JobState::NotRouted));
    if (!query.next())
        return {0, {}};
    return {static_cast<int>(query.integer(0)), query.text(1)};
}

QList<PrintJob> JobStore::since(const QDate& day, int limit) {
    Statement query(db_, WithJobColumns("SELECT ", " FROM \"打印任务\" WHERE \"日期\" >= ? "
                                                   "ORDER BY \"编号\" DESC LIMIT ?")
                             .constData());
    query.bind(1, day.toString(kDateFormat)).bind(2, limit);
    QList<PrintJob> jobs;
    while (query.next())
        jobs.append(ReadJob(query));
    return jobs;
}

QString JobStore::reprint(const QString& id, const QDateTime& now) {
    std::optional<PrintJob> original = job(id);
    if (!original)
        throw StoreError(QStringLiteral("打印记录 %1 已不存在。").arg(id));
    if (original->printer.isEmpty())
        throw StoreError(
            QStringLiteral("这张单子没有打印机接收，无法重打：请先在 综合设置 → 打印机 中设置。"));
    PrintJob copy = *original;
    copy.state = JobState::Waiting;
    copy.created = now;
    copy.reprint = true;
    copy.recovery = false;
    copy.note.clear();
    copy.finishedAt.clear();
    // The copy keeps the ticket's number but is filed under today, with the day's other jobs.
    return add(copy);
}

void JobStore::settleNotRouted(const QString& id, const QList<OrderLine>& stillUnrouted,
                               const QString& note) {
    std::optional<PrintJob> kept = job(id);
    if (!kept)
        return;
    if (!stillUnrouted.isEmpty())
        kept->lines = stillUnrouted;
    Statement update(db_,
                     "UPDATE \"打印任务\" SET \"状态\" = ?, \"内容\" = ?, \"说明\" = ? WHERE \"编号\" = ?");
    update.bind(1, JobStateText(stillUnrouted.isEmpty() ? JobState::Printed : JobState::NotRouted))
        .bind(2, JobContentText(*kept))
        .bind(3, note.left(200))
        .bind(4, id);
    update.run();
}

int JobStore::purgeBefore(const QDate& day) {
    Statement remove(db_, "DELETE FROM \"打印任务\" WHERE \"日期\" < ? AND \"状态\" IN (?, ?, ?)");
    remove.bind(1, day.toString(kDateFormat))
        .bind(2, JobStateText(JobState::Printed))
        .bind(3, JobStateText(JobState::NotRouted))
        .bind(4, JobStateText(JobState::GivenUp));
    remove.run();
    return static_cast<int>(db_.changes());
}
